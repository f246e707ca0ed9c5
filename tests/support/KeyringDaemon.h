// A desktop keyring for one test: gnome-keyring-daemon's secret service on a private session bus,
// with its keyrings in a temporary folder, unlocked here, and this process pointed at that bus.
#pragma once

#include "tests/support/SessionBus.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <string>

namespace testing_support {

class KeyringDaemon {
public:
    // `withKeyring` false gives the bus alone: a session where no secret service answers.
    explicit KeyringDaemon(bool withKeyring = true);
    ~KeyringDaemon();
    KeyringDaemon(const KeyringDaemon&) = delete;
    KeyringDaemon& operator=(const KeyringDaemon&) = delete;

    bool Ready() const { return error_.isEmpty(); }
    QString Error() const { return error_; }
    const SessionBus& Bus() const { return bus_; }

    // The keyring's folder, to look at what it wrote to disk.
    QString DataFolder() const { return folder_.filePath("data"); }

private:
    SessionBus bus_;
    QTemporaryDir folder_;
    QProcess daemon_;
    QString error_;
    std::optional<std::string> previousAddress_;
};

} // namespace testing_support
