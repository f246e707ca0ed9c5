// Another process that holds the store's write lock while the object lives (or until Release).
#pragma once

#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/prctl.h>

namespace testing_support {

class StoreLock {
public:
    StoreLock(const QString& holder, const std::string& storePath)
    {
        // The holder goes when the test program goes, even when it crashes or is killed.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(holder, { QString::fromStdString(storePath) });
        if (!process_.waitForStarted(10000))
            return;
        while (!locked_ && process_.waitForReadyRead(20000))
            locked_ = process_.readAll().contains("locked");
        if (!locked_)
            ADD_FAILURE() << "the lock holder did not lock: " << process_.readAllStandardError().toStdString();
    }
    ~StoreLock() { Release(); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool Locked() const { return locked_; }

    void Release()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.write("release\n");
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
        locked_ = false;
    }

private:
    QProcess process_;
    bool locked_ = false;
};

} // namespace testing_support
