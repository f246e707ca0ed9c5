// The built-in providers come from the build; the store can override each value or add one.
#include "signin/Providers.h"

#include "settings/RegistryAccessor.h"

#include <algorithm>

namespace signin {
namespace {

bool SameHost(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

void LayStoredValues(settings::RegistryAccessor& reg, Provider& p)
{
    const auto take = [&](const char* name, std::string& field) {
        try {
            std::string value = reg.ReadString(name);
            if (!value.empty())
                field = std::move(value);
        } catch (const settings::ERegistryException&) {
            // A value of another type is no value: the built-in one stays.
        }
    };
    take("client id", p.clientId);
    take("client secret", p.clientSecret);
    take("authorize", p.authorize);
    take("token", p.token);
    take("scope", p.scope);
    std::string hosts;
    take("hosts", hosts);
    if (!hosts.empty())
        p.hosts = SplitHostList(hosts);
}

} // namespace

std::vector<std::string> SplitHostList(std::string_view text)
{
    std::vector<std::string> hosts;
    std::string current;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == ';' || c == '\t') {
            if (!current.empty())
                hosts.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        hosts.push_back(std::move(current));
    return hosts;
}

std::vector<Provider> BuiltInProviders()
{
    Provider microsoft;
    microsoft.name = "Microsoft";
    microsoft.clientId = QUORVEL_MICROSOFT_CLIENT_ID;
    microsoft.authorize = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
    microsoft.token = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
    microsoft.scope = "https://outlook.office.com/IMAP.AccessAsUser.All "
                      "https://outlook.office.com/POP.AccessAsUser.All offline_access";
    microsoft.hosts = { "outlook.office365.com", "imap-mail.outlook.com", "pop-mail.outlook.com" };
    microsoft.signInOnly = true;

    Provider google;
    google.name = "Google";
    google.clientId = QUORVEL_GOOGLE_CLIENT_ID;
    google.clientSecret = QUORVEL_GOOGLE_CLIENT_SECRET;
    google.authorize = "https://accounts.google.com/o/oauth2/v2/auth";
    google.token = "https://oauth2.googleapis.com/token";
    google.scope = "https://mail.google.com/";
    google.hosts = { "imap.gmail.com", "pop.gmail.com" };
    return { microsoft, google };
}

std::vector<Provider> Providers()
{
    std::vector<Provider> providers = BuiltInProviders();
    std::vector<std::string> names;
    {
        settings::RegistryAccessor reg;
        if (!reg.OpenKey(SignInKey, false))
            return providers;
        try {
            reg.GetKeyNames(names);
        } catch (const settings::ERegistryException&) {
            // The names read before the failure still count.
        }
    }
    for (const std::string& name : names) {
        settings::RegistryAccessor reg;
        if (!reg.OpenKey(std::string(SignInKey) + "\\" + name, false))
            continue;
        auto known = std::find_if(
            providers.begin(), providers.end(), [&](const Provider& p) { return SameHost(p.name, name); });
        if (known != providers.end()) {
            LayStoredValues(reg, *known);
            continue;
        }
        Provider added;
        added.name = name;
        LayStoredValues(reg, added);
        providers.push_back(std::move(added));
    }
    return providers;
}

std::optional<Provider> ProviderForHost(std::string_view host)
{
    if (host.empty())
        return std::nullopt;
    for (Provider& p : Providers()) {
        for (const std::string& h : p.hosts) {
            if (SameHost(h, host))
                return std::move(p);
        }
    }
    return std::nullopt;
}

std::string NoRegistrationText(const Provider& provider)
{
    return "This copy of Quorvel has no sign-in registration for " + provider.name + ": see README, Sign-in";
}

} // namespace signin
