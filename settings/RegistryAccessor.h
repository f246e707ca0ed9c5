// The registry accessor of the store operations: one key open at a time, values read and
// written with the store's encodings, failures raised as ERegistryException.
#pragma once

#include "platform/core/Exceptions.h"
#include "platform/store/Registry.h"

#include <string>
#include <vector>

namespace settings {

class ERegistryException : public platform::Exception {
public:
    // storeFailed: the store could not be reached or refused the operation; false when the
    // store answered and only the record is not as expected (a value missing or of another type).
    explicit ERegistryException(std::string message, bool storeFailed = true)
        : Exception(std::move(message))
        , StoreFailed(storeFailed)
    { }
    bool StoreFailed;
};

// Paths with a leading backslash start at HKEY_CURRENT_USER; others at the open key (or at
// HKEY_CURRENT_USER when none is open). The destructor closes the open key.
class RegistryAccessor {
public:
    RegistryAccessor() = default;
    ~RegistryAccessor();
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;

    // Closes the open key, then opens path, creating missing keys when canCreate. When that
    // fails no key is open, and every read and write fails.
    bool OpenKey(const std::string& path, bool canCreate);
    // False when the writes made through the key could not be made durable.
    bool CloseKey();
    // Closes the key and raises when its writes could not be made durable.
    void CommitKey();
    // Takes back everything written since the key was opened; the key is closed.
    void DiscardKey();
    bool HasKey() const { return key_ != 0; }

    // Missing or empty: empty text; not REG_SZ or REG_EXPAND_SZ: error; ends at the first zero byte.
    std::string ReadString(const std::string& name);
    // Missing or not REG_DWORD: error.
    int ReadInteger(const std::string& name);
    // The text's bytes and one zero byte.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);

    // Appends the open key's subkey names in enumeration order, raising at the first failure
    // with the names read until then already appended.
    void GetKeyNames(std::vector<std::string>& names);

    // Deletes path with everything below it, depth first; true when the key itself went.
    bool DeleteKey(const std::string& path);

    // Writes the existing key path with its subtree to a new file; true on success.
    bool SaveKey(const std::string& path, const std::string& fileName);

private:
    platform::HKEY BaseKey(const std::string& path, std::string* relative) const;

    platform::HKEY key_ = 0;
};

} // namespace settings
