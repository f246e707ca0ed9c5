// Secrets in the desktop's keyring (the Secret Service), one entry per key under a service name.
// Every call waits for the keyring's answer with the wait pass, bounded: one that stays silent is absent.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace platform {

class Keyring {
public:
    explicit Keyring(std::string service, std::chrono::milliseconds bound = std::chrono::seconds(5));

    // Whether a keyring answers on the session bus; asks once, then remembers.
    bool Available();

    struct Found {
        bool answered = false; // false: no keyring, an error, or no answer in time
        std::optional<std::string> secret; // nothing when the keyring holds no entry for the key
    };
    Found Read(const std::string& key);
    // False when the keyring did not take the secret.
    bool Write(const std::string& key, const std::string& secret);
    // True when the key holds no secret afterwards (a key without one counts as removed).
    bool Remove(const std::string& key);

private:
    std::string service_;
    std::chrono::milliseconds bound_;
    std::optional<bool> available_;
};

} // namespace platform
