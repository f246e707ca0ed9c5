// The stand-in mail service as a child process of a test, on a free loopback port.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

class MailServiceProcess {
public:
    // `arguments` are the service's own (accounts, version, faults); the port and the log are added.
    explicit MailServiceProcess(const QStringList& arguments)
    {
        EXPECT_TRUE(folder_.isValid());
        logPath_ = folder_.path() + "/requests.log";
        process_.setProgram(QUORVEL_MAILSERVICE);
        process_.setArguments(QStringList { "--port", "0", "--log", logPath_ } + arguments);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The service goes when the test program goes, even when it crashes or is killed.
        process_.setChildProcessModifier([parent = ::getpid()] {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
        });
        process_.start();
        if (!process_.waitForStarted(5000) || !process_.waitForReadyRead(5000)) {
            ADD_FAILURE() << "the mail service did not start";
            return;
        }
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        const QStringList words = line.split(' ');
        if (words.size() == 3 && words[0] == "listening")
            port_ = words[2].toInt();
        EXPECT_GT(port_, 0) << line.toStdString();
    }

    ~MailServiceProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished(5000);
        }
    }

    MailServiceProcess(const MailServiceProcess&) = delete;
    MailServiceProcess& operator=(const MailServiceProcess&) = delete;

    int port() const { return port_; }
    qint64 processId() const { return process_.processId(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Lets every stalled request be answered.
    void Release() { ::kill(static_cast<pid_t>(process_.processId()), SIGUSR1); }

    // The request lines the service has received so far, control bytes written as \xHH.
    std::vector<std::string> Requests() const
    {
        std::vector<std::string> lines;
        std::ifstream in(logPath_.toStdString());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    QTemporaryDir folder_;
    QString logPath_;
    QProcess process_;
    int port_ = 0;
};

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value)
        : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

} // namespace testing_support
