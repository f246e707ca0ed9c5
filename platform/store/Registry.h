// The per-user registry (HKEY_CURRENT_USER) kept in one SQLite file: keys, typed values,
// enumeration, deletion and saving a subtree to a file image.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using HKEY = std::uintptr_t; // 0 is no key
using DWORD = std::uint32_t;
using LONG = std::int32_t;

inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_FILE_EXISTS = 80;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_ALREADY_EXISTS = 183;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_BUSY = 170;

// Where the store lives: $QUORVEL_REGISTRY when set (the full file path), else
// $XDG_CONFIG_HOME/quorvel/registry.sqlite3, else ~/.config/quorvel/registry.sqlite3.
std::string RegistryPath();

// Whether the store can be used: opens it (creating it when missing) and tries a write that it
// takes back at once. ERROR_SUCCESS, or the error with the reason in a few words in *reason.
LONG RegCheckStore(std::string* reason);

// Paths are relative to the parent key and hold key names joined by single backslashes; an
// empty name anywhere in a path is refused. Names compare without regard to case.
//
// Calls through open keys are grouped: from the first key opened until the last one is closed
// they share one transaction, and closing the last key commits everything written meanwhile at
// once. Until its first write the group only reads, and never waits for another process; the
// first write takes the store's write lock, waiting for another process's group to end (up to
// a few seconds) instead of interleaving with it. A process that dies before the commit leaves
// the store as it was. Like closing a registry key, a commit does not force the data to disk:
// a power cut may lose the last commits, never the store's consistency.
// Keys are meant to be opened and closed within one operation of the user-interface thread.
LONG RegCreateKeyEx(HKEY parent, const std::string& subKey, HKEY* result);
LONG RegOpenKeyEx(HKEY parent, const std::string& subKey, HKEY* result);
LONG RegCloseKey(HKEY key);
// Takes back every write made since the write lock was taken (the first key opened): closing
// the last key then commits nothing. Keys stay open; further calls fail until they are closed.
LONG RegDiscardWrites();

// Subkey count, the length in bytes of the longest subkey name and the value count; any
// pointer may be null.
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values = nullptr);
// The name of the subkey at index, in case-insensitive name order. nameSize holds the buffer's
// size in bytes (name plus its zero) and receives the name's length; ERROR_MORE_DATA when the
// buffer is too small, ERROR_NO_MORE_ITEMS past the last subkey.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise), with its values.
LONG RegDeleteKey(HKEY parent, const std::string& subKey);

// data may be null when size is 0. REG_DWORD values must be 4 bytes long.
LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const void* data, DWORD size);
// Type and size first (data null), then the data: ERROR_MORE_DATA when *size is too small,
// with *size set to what is needed. Missing value: ERROR_FILE_NOT_FOUND.
LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, void* data, DWORD* size);

// Writes the key with all its values and subkeys to a new file (refused with ERROR_ALREADY_EXISTS
// when the file exists), as a self-contained image that RegRestoreKey reads back.
LONG RegSaveKey(HKEY key, const std::string& fileName);
// Replaces the values and subkeys of key with those of an image written by RegSaveKey.
LONG RegRestoreKey(HKEY key, const std::string& fileName);

} // namespace platform
