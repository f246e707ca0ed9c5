#include "platform/store/RegistryNames.h"

#include "platform/core/Text.h"

#include <QList>
#include <QString>

#include <algorithm>

namespace platform::registry {

namespace {

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
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii || !platform::DecodeUtf8(name))
        return platform::AsciiUpper(name);
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
