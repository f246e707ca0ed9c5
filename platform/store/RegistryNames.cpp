#include "platform/store/RegistryNames.h"

#include <QList>
#include <QString>

#include <algorithm>

namespace platform::registry {

namespace {

bool IsValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::size_t CountChars(std::string_view s)
{
    std::size_t n = 0;
    for (const char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

std::string FoldName(std::string_view name)
{
    std::string folded(name);
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii || !IsValidUtf8(name)) {
        for (char& c : folded)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return folded;
    }
    // Each character is replaced by its own upper case, one character for one, as the
    // platform's registry compares: "ß" stays "ß", so "Straße" and "STRASSE" are two names.
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    std::u32string characters;
    for (const uint c : text.toUcs4())
        characters.push_back(QChar::toUpper(static_cast<char32_t>(c)));
    const QByteArray bytes = QString::fromUcs4(characters.data(), static_cast<qsizetype>(characters.size())).toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool ValidKeyName(std::string_view name)
{
    return !name.empty() && name.find('\\') == std::string_view::npos && name.find('\0') == std::string_view::npos
        && CountChars(name) <= MaxKeyNameChars;
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path)
{
    std::vector<std::string> names;
    if (path.empty())
        return names;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view name = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (!ValidKeyName(name))
            return std::nullopt;
        names.emplace_back(name);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return names;
}

bool ValidValueName(std::string_view name)
{
    return name.find('\0') == std::string_view::npos && CountChars(name) <= MaxValueNameChars;
}

} // namespace platform::registry
