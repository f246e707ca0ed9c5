#include "settings/SettingsStore.h"

#include "platform/core/StrToInt.h"
#include "settings/KeyPaths.h"
#include "settings/RegistryAccessor.h"

namespace settings {

TLoadedSettings LoadSettings()
{
    TLoadedSettings loaded;
    try {
        RegistryAccessor reg;
        reg.OpenKey(QuorvelKey, true);
        loaded.Delay = std::to_string(reg.ReadInteger("delay"));
        loaded.Proxy = reg.ReadInteger("proxy") != 0;
        loaded.ProxyHost = reg.ReadString("proxyhost");
        loaded.ProxyPort = reg.ReadString("proxyport");
    } catch (const std::exception&) {
        loaded.Delay = "10";
        loaded.Proxy = false;
    }
    return loaded;
}

bool SaveSettings(const TSettings& values)
{
    try {
        RegistryAccessor reg;
        reg.OpenKey(QuorvelKey, true);
        reg.WriteInteger("delay", platform::StrToInt(values.Delay));
        reg.WriteInteger("proxy", values.Proxy ? 1 : 0);
        reg.WriteString("proxyhost", values.ProxyHost);
        reg.WriteString("proxyport", values.ProxyPort);
        reg.CommitKey();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

TLoadedScreen LoadScreen()
{
    TLoadedScreen loaded;
    try {
        RegistryAccessor reg;
        reg.OpenKey(ScreenKey, true);
        loaded.Left = reg.ReadInteger("left");
        loaded.Top = reg.ReadInteger("top");
        loaded.Width = reg.ReadInteger("width");
        loaded.Height = reg.ReadInteger("height");
    } catch (const std::exception&) { }
    return loaded;
}

bool SaveScreen(const TScreen& screen)
{
    try {
        RegistryAccessor reg;
        reg.OpenKey(ScreenKey, true);
        reg.WriteInteger("left", screen.Left);
        reg.WriteInteger("top", screen.Top);
        reg.WriteInteger("width", screen.Width);
        reg.WriteInteger("height", screen.Height);
        reg.CommitKey();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace settings
