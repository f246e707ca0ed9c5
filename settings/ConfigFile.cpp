#include "settings/ConfigFile.h"

#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"

namespace settings {

bool DeleteAllAccounts()
{
    bool success = true;
    try {
        RegistryAccessor reg;
        reg.OpenKey(AccountKey, true);
        // All names first: nothing is deleted while the subkeys are being enumerated.
        std::vector<std::string> names;
        reg.GetKeyNames(names);
        for (const std::string& name : names)
            if (!reg.DeleteKey(name))
                success = false;
        reg.CommitKey();
    } catch (const std::exception&) {
        // The accounts could not even be listed: nothing was deleted, which is no success.
        success = false;
    }
    return success;
}

bool ExportAccounts(const std::string& fileName)
{
    if (fileName.empty())
        return false;
    try {
        RegistryAccessor reg;
        reg.OpenKey(QuorvelKey, true);
        return reg.SaveKey("account", fileName);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace settings
