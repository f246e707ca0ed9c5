// quorvel-demo-store: writes accounts into the store that QUORVEL_REGISTRY names, for the demo.
#include "settings/RegistryAccessor.h"
#include "settings/Store.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char* const kUsage = R"(usage: quorvel-demo-store [--delay MINUTES] [--separator C]
                          [--sign-in NAME CLIENT AUTHORIZE TOKEN HOSTS] ACCOUNT...
  ACCOUNT is name:host:user:password (the password may hold further colons); after
  --separator the fields of the accounts that follow are split at C instead, for host texts
  with a port in them.
  --sign-in stores a sign-in provider of that name for the mail hosts HOSTS (blank-separated).
  The store is the one the program uses: QUORVEL_REGISTRY, else the user's own.
)";

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    if (!std::getenv("QUORVEL_REGISTRY")) {
        // A demo must never write into the user's real store by mistake.
        std::cerr << "quorvel-demo-store: QUORVEL_REGISTRY is not set\n";
        return 2;
    }
    char separator = ':';
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--separator" && i + 1 < argc && std::string(argv[i + 1]).size() == 1) {
            separator = argv[++i][0];
            continue;
        }
        if (arg == "--sign-in" && i + 5 < argc) {
            settings::RegistryAccessor reg;
            try {
                if (!reg.OpenKey(std::string("\\software\\Brask\\Quorvel\\sign-in\\") + argv[i + 1], true))
                    throw settings::ERegistryException("cannot open the key");
                reg.WriteString("client id", argv[i + 2]);
                reg.WriteString("authorize", argv[i + 3]);
                reg.WriteString("token", argv[i + 4]);
                reg.WriteString("scope", "mail offline_access");
                reg.WriteString("hosts", argv[i + 5]);
                reg.CommitKey();
            } catch (const platform::Exception& e) {
                std::cerr << "quorvel-demo-store: cannot store the provider: " << e.Message << '\n';
                return 1;
            }
            i += 5;
            continue;
        }
        if (arg == "--delay" && i + 1 < argc) {
            settings::TSettings values;
            values.Delay = argv[++i];
            if (!settings::SaveSettings(values)) {
                std::cerr << "quorvel-demo-store: cannot store the interval\n";
                return 1;
            }
            continue;
        }
        settings::TAccount account;
        std::string rest = arg;
        std::string* fields[] = { &account.Name, &account.Host, &account.UserName };
        for (std::string* field : fields) {
            const auto colon = rest.find(separator);
            if (colon == std::string::npos) {
                std::cerr << "quorvel-demo-store: bad account '" << arg << "'\n" << kUsage;
                return 2;
            }
            *field = rest.substr(0, colon);
            rest = rest.substr(colon + 1);
        }
        account.Password = rest;
        account.Info = "demo account";
        account.LastChecked = "N/A";
        account.Status = "N/A";
        if (!settings::SaveAccount(account)) {
            std::cerr << "quorvel-demo-store: cannot store '" << account.Name << "'\n";
            return 1;
        }
    }
    return 0;
}
