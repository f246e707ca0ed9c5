#include "settings/NotifySetting.h"

#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"

namespace settings {

bool LoadNotify()
{
    try {
        RegistryAccessor reg;
        if (!reg.OpenKey(QuorvelKey, false))
            return true;
        return reg.ReadInteger("notify") != 0;
    } catch (const std::exception&) {
        return true;
    }
}

bool SaveNotify(bool notify)
{
    try {
        RegistryAccessor reg;
        if (!reg.OpenKey(QuorvelKey, true))
            return false;
        reg.WriteInteger("notify", notify ? 1 : 0);
        reg.CommitKey();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace settings
