// Looking at and shaping the registry store directly, beside the operations under test.
#pragma once

#include "platform/store/Registry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace probe {

using namespace platform;

struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

inline std::string Relative(const std::string& path)
{
    return !path.empty() && path.front() == '\\' ? path.substr(1) : path;
}

inline bool KeyExists(const std::string& path)
{
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, Relative(path), &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline std::optional<RawValue> Get(const std::string& path, const std::string& name)
{
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, Relative(path), &key) != ERROR_SUCCESS)
        return std::nullopt;
    RawValue value;
    DWORD size = 0;
    LONG err = RegQueryValueEx(key, name, &value.type, nullptr, &size);
    if (err == ERROR_SUCCESS) {
        value.bytes.resize(size);
        err = RegQueryValueEx(key, name, &value.type, value.bytes.data(), &size);
    }
    RegCloseKey(key);
    if (err != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

inline void Set(const std::string& path, const std::string& name, DWORD type, const std::string& bytes)
{
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, Relative(path), &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(key, name, type, bytes.data(), static_cast<DWORD>(bytes.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void SetString(const std::string& path, const std::string& name, const std::string& text)
{
    Set(path, name, REG_SZ, text + '\0');
}

inline std::string Dword(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return std::string { static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16),
        static_cast<char>(u >> 24) };
}

inline std::int32_t AsInt(const std::string& bytes)
{
    std::uint32_t u = 0;
    for (int i = 3; i >= 0; --i)
        u = (u << 8) | static_cast<unsigned char>(bytes.at(static_cast<std::size_t>(i)));
    return static_cast<std::int32_t>(u);
}

inline void SetInt(const std::string& path, const std::string& name, std::int32_t value)
{
    Set(path, name, REG_DWORD, Dword(value));
}

inline void MakeKey(const std::string& path)
{
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, Relative(path), &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

inline std::vector<std::string> Subkeys(HKEY key)
{
    std::vector<std::string> names;
    DWORD count = 0;
    DWORD longest = 0;
    EXPECT_EQ(RegQueryInfoKey(key, &count, &longest), ERROR_SUCCESS);
    for (DWORD i = 0; i < count; ++i) {
        std::vector<char> buffer(longest + 1);
        DWORD size = longest + 1;
        EXPECT_EQ(RegEnumKeyEx(key, i, buffer.data(), &size), ERROR_SUCCESS);
        names.emplace_back(buffer.data(), size);
    }
    return names;
}

inline std::vector<std::string> Subkeys(const std::string& path)
{
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, Relative(path), &key) != ERROR_SUCCESS)
        return {};
    auto names = Subkeys(key);
    RegCloseKey(key);
    return names;
}

// Number of values and of subkeys of an existing key.
inline std::pair<DWORD, DWORD> Counts(const std::string& path)
{
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, Relative(path), &key), ERROR_SUCCESS) << path;
    DWORD subkeys = 0;
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKey(key, &subkeys, nullptr, &values), ERROR_SUCCESS);
    RegCloseKey(key);
    return { values, subkeys };
}

inline bool IsEmptyKey(const std::string& path)
{
    return KeyExists(path) && Counts(path) == std::pair<DWORD, DWORD> { 0, 0 };
}

} // namespace probe
