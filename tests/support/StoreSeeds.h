// Accounts and settings written straight into the store before a window opens, for the
// benchmarks that run the window against a real mail server.
#pragma once

#include "settings/AccountStore.h"
#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"

#include <string>

namespace testing_support {

// A mail-server account whose password is the user name followed by "-secret".
inline void StoreSecretAccount(const std::string& name, const std::string& user, const std::string& host)
{
    settings::TAccount a;
    a.Name = name;
    a.Host = host;
    a.UserName = user;
    a.Password = user + "-secret";
    a.LastChecked = "N/A";
    a.Status = "N/A";
    settings::SaveAccount(a);
}

// The stored "push" value: 0 keeps no push connection.
inline void StorePush(int value)
{
    settings::RegistryAccessor reg;
    reg.OpenKey(settings::QuorvelKey, true);
    reg.WriteInteger("push", value);
    reg.CommitKey();
}

} // namespace testing_support
