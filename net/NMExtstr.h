// TExStringList: an ordered list of text lines that finds and sets "name: value" field lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace net {

class TExStringList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& operator[](int index) const { return FItems.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Lines() const { return FItems; }

    // In sorted mode Add keeps the order of the field keys; switching it on sorts the list.
    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);

    int Add(const std::string& line);
    void Insert(int index, const std::string& line);
    void Put(int index, const std::string& line);
    void Delete(int index);
    void Clear() { FItems.clear(); }

    // Index of the first line whose key (text before its first colon) equals `name`, letter case
    // ignored; -1 when there is none.
    int IndexOfField(const std::string& name) const;
    // Replaces or appends the line "name: value"; an empty value deletes the line instead.
    void SetField(const std::string& name, const std::string& value);

    // The list as one text, every line followed by CR LF.
    std::string Text() const;

private:
    std::vector<std::string> FItems;
    bool FSorted = false;
};

// Locale-aware comparison of two 8-bit texts, ignoring letter case: <0, 0 or >0.
int AnsiCompareText(const std::string& a, const std::string& b);

} // namespace net
