#include "settings/RegistryAccessor.h"

#include <cstring>

namespace settings {

using namespace platform;

namespace {

constexpr DWORD ShortValueSize = 256;

// storeFailed is false for a missing value or one of the wrong type: facts about the record,
// not failures of the store.
[[noreturn]] void Fail(const std::string& what, const std::string& name, LONG code, bool storeFailed = true)
{
    throw ERegistryException(what + " '" + name + "' (error " + std::to_string(code) + ")", storeFailed);
}

// Closes a key handle when it goes out of scope.
class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle()
    {
        if (key != 0)
            RegCloseKey(key);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY key = 0;
};

bool DeleteTree(HKEY parent, const std::string& path)
{
    {
        KeyHandle handle;
        if (RegOpenKeyEx(parent, path, &handle.key) == ERROR_SUCCESS) {
            DWORD count = 0;
            DWORD longest = 0;
            if (RegQueryInfoKey(handle.key, &count, &longest) == ERROR_SUCCESS) {
                std::vector<char> buffer(longest + 1);
                for (DWORD i = count; i-- > 0;) {
                    DWORD size = static_cast<DWORD>(buffer.size());
                    if (RegEnumKeyEx(handle.key, i, buffer.data(), &size) == ERROR_SUCCESS)
                        DeleteTree(handle.key, std::string(buffer.data(), size));
                }
            }
        }
    }
    return RegDeleteKey(parent, path) == ERROR_SUCCESS;
}

} // namespace

RegistryAccessor::~RegistryAccessor()
{
    CloseKey();
}

HKEY RegistryAccessor::BaseKey(const std::string& path, std::string* relative) const
{
    if (!path.empty() && path.front() == '\\') {
        *relative = path.substr(1);
        return HKEY_CURRENT_USER;
    }
    *relative = path;
    return key_ != 0 ? key_ : HKEY_CURRENT_USER;
}

bool RegistryAccessor::OpenKey(const std::string& path, bool canCreate)
{
    std::string relative;
    const HKEY base = BaseKey(path, &relative);
    HKEY opened = 0;
    const LONG err = canCreate ? RegCreateKeyEx(base, relative, &opened) : RegOpenKeyEx(base, relative, &opened);
    // The new key is opened before the old one is closed, so that a relative path can start there.
    CloseKey();
    if (err != ERROR_SUCCESS)
        return false;
    key_ = opened;
    return true;
}

bool RegistryAccessor::CloseKey()
{
    if (key_ == 0)
        return true;
    const LONG err = RegCloseKey(key_);
    key_ = 0;
    return err == ERROR_SUCCESS;
}

void RegistryAccessor::DiscardKey()
{
    if (key_ == 0)
        return;
    RegDiscardWrites();
    CloseKey();
}

void RegistryAccessor::CommitKey()
{
    if (!CloseKey())
        throw ERegistryException("The store did not keep the writes");
}

std::string RegistryAccessor::ReadString(const std::string& name)
{
    // Without a key nothing is read, not even "missing" strings: a load that cannot reach the
    // store must leave the window's fields alone, or the next save would blank the record.
    if (key_ == 0)
        Fail("No key to read", name, ERROR_INVALID_HANDLE);
    // Most values fit the first buffer, so that one query is enough; a longer one is asked
    // for again with the size the first query gave.
    DWORD type = REG_NONE;
    std::string bytes(ShortValueSize, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    LONG err = RegQueryValueEx(key_, name, &type, bytes.data(), &size);
    if (err == ERROR_MORE_DATA) {
        bytes.assign(size, '\0');
        err = RegQueryValueEx(key_, name, &type, bytes.data(), &size);
    }
    if (err == ERROR_FILE_NOT_FOUND)
        return {};
    if (err != ERROR_SUCCESS)
        Fail("Failed to get data for", name, err);
    if (size == 0)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        Fail("Invalid data type for", name, ERROR_INVALID_PARAMETER, false);
    bytes.resize(size);
    if (const auto zero = bytes.find('\0'); zero != std::string::npos)
        bytes.resize(zero);
    return bytes;
}

int RegistryAccessor::ReadInteger(const std::string& name)
{
    if (key_ == 0)
        Fail("Failed to get data for", name, ERROR_INVALID_HANDLE);
    DWORD type = REG_NONE;
    unsigned char bytes[4] = {};
    DWORD size = sizeof bytes;
    const LONG err = RegQueryValueEx(key_, name, &type, bytes, &size);
    if (err == ERROR_MORE_DATA)
        Fail("Invalid data type for", name, err, false);
    if (err != ERROR_SUCCESS)
        Fail("Failed to get data for", name, err, err != ERROR_FILE_NOT_FOUND);
    if (type != REG_DWORD || size != 4)
        Fail("Invalid data type for", name, ERROR_INVALID_PARAMETER, false);
    const std::uint32_t value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8
        | static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

void RegistryAccessor::WriteString(const std::string& name, const std::string& value)
{
    if (key_ == 0)
        Fail("Failed to set data for", name, ERROR_INVALID_HANDLE);
    const std::string bytes = value + '\0';
    const LONG err = RegSetValueEx(key_, name, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
    if (err != ERROR_SUCCESS)
        Fail("Failed to set data for", name, err);
}

void RegistryAccessor::WriteInteger(const std::string& name, int value)
{
    if (key_ == 0)
        Fail("Failed to set data for", name, ERROR_INVALID_HANDLE);
    const auto v = static_cast<std::uint32_t>(value);
    const unsigned char bytes[4] = { static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24) };
    const LONG err = RegSetValueEx(key_, name, REG_DWORD, bytes, sizeof bytes);
    if (err != ERROR_SUCCESS)
        Fail("Failed to set data for", name, err);
}

void RegistryAccessor::GetKeyNames(std::vector<std::string>& names)
{
    DWORD count = 0;
    DWORD longest = 0;
    LONG err = RegQueryInfoKey(key_, &count, &longest);
    if (err != ERROR_SUCCESS)
        Fail("Failed to list", "key", err);
    std::vector<char> buffer(longest + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = static_cast<DWORD>(buffer.size());
        err = RegEnumKeyEx(key_, i, buffer.data(), &size);
        if (err != ERROR_SUCCESS)
            Fail("Failed to list", "key", err);
        names.emplace_back(buffer.data(), size);
    }
}

bool RegistryAccessor::DeleteKey(const std::string& path)
{
    std::string relative;
    const HKEY base = BaseKey(path, &relative);
    if (relative.empty())
        return false;
    return DeleteTree(base, relative);
}

bool RegistryAccessor::SaveKey(const std::string& path, const std::string& fileName)
{
    std::string relative;
    const HKEY base = BaseKey(path, &relative);
    KeyHandle handle;
    if (RegOpenKeyEx(base, relative, &handle.key) != ERROR_SUCCESS)
        return false;
    return RegSaveKey(handle.key, fileName) == ERROR_SUCCESS;
}

} // namespace settings
