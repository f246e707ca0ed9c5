// Reading the "push" value; it is read once at start-up and never written by the program.
#include "settings/PushSetting.h"

#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"

namespace settings {

bool LoadPush()
{
    try {
        RegistryAccessor reg;
        if (!reg.OpenKey(QuorvelKey, false))
            return true;
        return reg.ReadInteger("push") != 0;
    } catch (const std::exception&) {
        return true;
    }
}

} // namespace settings
