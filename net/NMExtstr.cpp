#include "net/NMExtstr.h"

#include <QString>

#include <algorithm>

namespace net {
namespace {

std::string KeyOf(const std::string& line)
{
    const auto colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

QString FromAnsi(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

int AnsiCompareText(const std::string& a, const std::string& b)
{
    const QString left = FromAnsi(a).toCaseFolded();
    const QString right = FromAnsi(b).toCaseFolded();
    // Texts that fold to the same characters are equal even where the collation would still
    // order them, so that a field name matches whatever its letter case.
    if (left == right)
        return 0;
    const int order = QString::localeAwareCompare(left, right);
    if (order != 0)
        return order;
    return left < right ? -1 : 1;
}

void TExStringList::SetSorted(bool value)
{
    if (value == FSorted)
        return;
    FSorted = value;
    if (FSorted)
        std::stable_sort(FItems.begin(), FItems.end(),
            [](const std::string& a, const std::string& b) { return AnsiCompareText(KeyOf(a), KeyOf(b)) < 0; });
}

int TExStringList::Add(const std::string& line)
{
    if (!FSorted) {
        FItems.push_back(line);
        return Count() - 1;
    }
    const std::string key = KeyOf(line);
    const auto at = std::upper_bound(FItems.begin(), FItems.end(), key,
        [](const std::string& k, const std::string& item) { return AnsiCompareText(k, KeyOf(item)) < 0; });
    const auto index = at - FItems.begin();
    FItems.insert(at, line);
    return static_cast<int>(index);
}

void TExStringList::Insert(int index, const std::string& line)
{
    FItems.insert(FItems.begin() + std::clamp(index, 0, Count()), line);
}

void TExStringList::Put(int index, const std::string& line)
{
    FItems.at(static_cast<std::size_t>(index)) = line;
}

void TExStringList::Delete(int index)
{
    if (index >= 0 && index < Count())
        FItems.erase(FItems.begin() + index);
}

int TExStringList::IndexOfField(const std::string& name) const
{
    if (!FSorted) {
        for (int i = 0; i < Count(); ++i) {
            const std::string& line = FItems[static_cast<std::size_t>(i)];
            if (line.find(':') == std::string::npos)
                continue;
            if (AnsiCompareText(KeyOf(line), name) == 0)
                return i;
        }
        return -1;
    }
    // Halving search over the sorted keys; the first of several equal keys wins.
    int low = 0;
    int high = Count() - 1;
    int found = -1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const int order = AnsiCompareText(KeyOf(FItems[static_cast<std::size_t>(middle)]), name);
        if (order < 0) {
            low = middle + 1;
        } else {
            if (order == 0)
                found = middle;
            high = middle - 1;
        }
    }
    return found;
}

void TExStringList::SetField(const std::string& name, const std::string& value)
{
    int index = IndexOfField(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    const std::string line = name + ": " + value;
    if (index < 0) {
        if (FSorted) {
            Add(line);
            return;
        }
        index = Add(std::string());
    }
    Put(index, line);
}

std::string TExStringList::Text() const
{
    std::string text;
    for (const auto& line : FItems) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace net
