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

} // namespace settings
