// A process that a fixture starts ends with the test program, also when the program is killed
// before any fixture can stop it: nothing a crashed run started stays behind.
#include "tests/check/MailServiceProcess.h"
#include "tests/fixtures/X11Session.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kFixtureVariable = "QUORVEL_ORPHAN_FIXTURE";
constexpr const char* kPidFileVariable = "QUORVEL_ORPHAN_PID_FILE";

// A process id is free, or names a process that has ended and waits only to be reaped.
bool Ended(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text))
        return true;
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

std::string OwnProgram()
{
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

// Only as the child program of the test below: starts the fixture it is told, writes the id of
// the process that fixture started, and dies at once, as a crash would end it.
TEST(OrphanedFixture, DISABLED_StartsItsProcessAndIsKilled)
{
    const char* fixture = std::getenv(kFixtureVariable);
    const char* pidFile = std::getenv(kPidFileVariable);
    if (!fixture || !pidFile)
        GTEST_SKIP() << "run by FixtureProcess tests only";
    qint64 pid = 0;
    // Left to leak on purpose: no destructor may run before the kill.
    if (std::string(fixture) == "mail service") {
        auto* service = new testing_support::MailServiceProcess({});
        pid = service->port() > 0 ? service->processId() : 0;
    }
    std::ofstream(pidFile) << pid << std::endl;
    ::kill(::getpid(), SIGKILL);
}

class FixtureProcess : public ::testing::TestWithParam<const char*> { };

TEST_P(FixtureProcess, EndsWhenTheTestProgramIsKilled)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pidFile = folder.filePath("pid");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kFixtureVariable, GetParam());
    environment.insert(kPidFileVariable, pidFile);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QString::fromStdString(OwnProgram()),
        { "--gtest_filter=OrphanedFixture.DISABLED_StartsItsProcessAndIsKilled", "--gtest_also_run_disabled_tests" });
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    qint64 pid = 0;
    std::ifstream(pidFile.toStdString()) >> pid;
    ASSERT_GT(pid, 0) << "the fixture did not start its process";
    const bool ended = testing_support::PollUntil([&] { return Ended(pid); }, 5000);
    if (!ended)
        ::kill(static_cast<pid_t>(pid), SIGKILL); // not left running by this test either
    EXPECT_TRUE(ended) << GetParam() << " outlived the test program";
}

INSTANTIATE_TEST_SUITE_P(EachFixture, FixtureProcess, ::testing::Values("mail service"),
    [](const auto& info) { return std::string(info.param) == "mail service" ? "MailService" : "Other"; });

} // namespace
