#include "settings/StoreCheck.h"

#include "platform/store/Registry.h"

namespace settings {

TStoreCheck CheckStore()
{
    TStoreCheck check;
    check.Path = platform::RegistryPath();
    check.Usable = platform::RegCheckStore(&check.Reason) == platform::ERROR_SUCCESS;
    return check;
}

} // namespace settings
