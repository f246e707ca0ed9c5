#include "settings/AccountStore.h"
#include "settings/SettingsStore.h"
#include "tests/support/TempRegistry.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <sqlite3.h>
#include <thread>

using namespace settings;

namespace {

// The writer saves generation g as these texts (see StoreWriter.cpp).
void ExpectAccountOfGeneration(const std::string& name, long lowest, long highest)
{
    const TAccountFields f = LoadAccount(name);
    ASSERT_TRUE(f.Status) << name << ": record incomplete";
    const std::string status = *f.Status;
    ASSERT_EQ(status.rfind("st ", 0), 0u) << status;
    const long g = std::stol(status.substr(3));
    EXPECT_GE(g, lowest) << name << ": a finished save is missing";
    EXPECT_LE(g, highest) << name;
    const std::string n = std::to_string(g);
    EXPECT_EQ(f.Info, "info " + n) << name;
    EXPECT_EQ(f.UserName, "user " + n) << name;
    EXPECT_EQ(f.Password, "pässwort-" + n + "-€") << name;
    EXPECT_EQ(f.LastChecked, "lc " + n) << name;
}

void ExpectSettingsOfGeneration(long lowest, long highest)
{
    const TLoadedSettings s = LoadSettings();
    ASSERT_TRUE(s.ProxyPort) << "settings incomplete";
    const long g = std::stol(s.Delay);
    EXPECT_GE(g, lowest);
    EXPECT_LE(g, highest);
    EXPECT_EQ(s.Proxy, g % 2 == 0);
    EXPECT_EQ(s.ProxyHost, "host " + s.Delay);
    EXPECT_EQ(s.ProxyPort, "port " + s.Delay);
}

std::string IntegrityCheck(const std::string& path)
{
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
        if (sqlite3_step(st) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return result;
}

// Reads the generations the writer reports as finished; returns the last one seen, or keeps last.
long ReadGenerations(QProcess& writer, long last)
{
    while (writer.canReadLine()) {
        const QByteArray line = writer.readLine().trimmed();
        if (!line.isEmpty())
            last = line.toLong();
    }
    return last;
}

class CrashSafety : public ::testing::Test {
protected:
    testing_support::TempRegistry registry_;
};

} // namespace

TEST_F(CrashSafety, WriterKilledDuringSavesLeavesWholeRecords)
{
    std::mt19937 random(20261209);
    long first = 1;
    for (int trial = 0; trial < 25; ++trial) {
        QProcess writer;
        writer.start(QStringLiteral(QUORVEL_STORE_WRITER), { "shared", "own", "0", QString::number(first) });
        ASSERT_TRUE(writer.waitForStarted(5000));
        long done = first - 1;
        const long wanted = first + trial % 3;
        while (done < wanted) {
            ASSERT_TRUE(writer.waitForReadyRead(10000)) << "writer stalled: " << writer.readAllStandardError().data();
            done = ReadGenerations(writer, done);
        }
        // Kill it somewhere inside one of the next saves.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(5000));
        done = ReadGenerations(writer, done);

        EXPECT_EQ(IntegrityCheck(registry_.Path()), "ok");
        ExpectAccountOfGeneration("shared", done, done + 1);
        ExpectAccountOfGeneration("own", done, done + 1);
        ExpectSettingsOfGeneration(done, done + 1);
        if (HasFailure())
            return;
        first = done + 2;
    }
}

TEST_F(CrashSafety, TwoInstancesWritingAtOnceLoseNothing)
{
    QProcess a;
    QProcess b;
    a.start(QStringLiteral(QUORVEL_STORE_WRITER), { "shared", "ownA", "40", "1" });
    b.start(QStringLiteral(QUORVEL_STORE_WRITER), { "shared", "ownB", "40", "1001" });
    ASSERT_TRUE(a.waitForStarted(5000));
    ASSERT_TRUE(b.waitForStarted(5000));
    // Meanwhile this process reads and writes too.
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(SaveAccount({ "ownC", "c", "Hotmail", "u", "p" + std::to_string(i), "N/A", "N/A" }));
        (void)LoadAccountList();
    }
    ASSERT_TRUE(a.waitForFinished(60000));
    ASSERT_TRUE(b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().data();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().data();
    EXPECT_EQ(ReadGenerations(a, 0), 40);
    EXPECT_EQ(ReadGenerations(b, 0), 1040);

    EXPECT_EQ(IntegrityCheck(registry_.Path()), "ok");
    ExpectAccountOfGeneration("ownA", 40, 40);
    ExpectAccountOfGeneration("ownB", 1040, 1040);
    const long shared = std::stol(LoadAccount("shared").Status.value_or("st 0").substr(3));
    EXPECT_TRUE(shared == 40 || shared == 1040) << shared;
    ExpectAccountOfGeneration("shared", shared, shared);
    const long delay = std::stol(LoadSettings().Delay);
    EXPECT_TRUE(delay == 40 || delay == 1040) << delay;
    ExpectSettingsOfGeneration(delay, delay);
    EXPECT_EQ(LoadAccount("ownC").Password, "p19");
    EXPECT_EQ(LoadAccountList().Names, (std::vector<std::string> { "ownA", "ownB", "ownC", "shared" }));
}
