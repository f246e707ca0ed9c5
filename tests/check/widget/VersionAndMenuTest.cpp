#include "app/Guard.h"
#include "platform/core/HostResolver.h"
#include "tests/check/widget/CheckFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <condition_variable>
#include <memory>
#include <mutex>

using testing_support::CheckFixture;

class VersionCheck : public CheckFixture {
protected:
    QString Check(const QStringList& arguments)
    {
        if (!StartService(arguments))
            return "the mail service did not start";
        auto& f = Open();
        app::Guard([&] { f.lblHomePageClick(f.lblHomePage); });
        return f.StatusBar->SimpleText();
    }
};

TEST_F(VersionCheck, SameVersion)
{
    EXPECT_EQ(Check({ "--version", "0.2.4" }), "Running at the newest version.");
    ASSERT_EQ(service->Requests().size(), 1u);
    EXPECT_EQ(service->Requests()[0], "GET /quorvel/verInfo HTTP/1.0");
}

TEST_F(VersionCheck, NewerVersion)
{
    EXPECT_EQ(Check({ "--version", "0.3.0" }), "Get the newest version, 0.3.0, at quorvel's homepage.");
}

TEST_F(VersionCheck, LineEndMakesItDifferent)
{
    EXPECT_EQ(Check({ "--version", "0.2.4\\n" }), "Get the newest version, 0.2.4\n, at quorvel's homepage.");
}

TEST_F(VersionCheck, EmptyBody)
{
    EXPECT_EQ(Check({ "--version", "" }), "Get the newest version, , at quorvel's homepage.");
}

TEST_F(VersionCheck, ErrorPageGoesIntoTheText)
{
    EXPECT_EQ(
        Check({}), "Get the newest version, <html><body><h1>Not Found</h1></body></html>\r\n, at quorvel's homepage.");
}

TEST_F(VersionCheck, ThroughTheProxy)
{
    ASSERT_TRUE(StartService({ "--version", "0.2.4" }));
    SetEnvironment("QUORVEL_HOMEPAGE", "http://quorvel.example.org/");
    auto& f = Open();
    f.cbProxy->setChecked(true);
    f.edProxyHost->setText("127.0.0.1");
    f.edProxyPort->setText(QString::number(service->port()));
    app::Guard([&] { f.lblHomePageClick(f.lblHomePage); });
    EXPECT_EQ(f.StatusBar->SimpleText(), "Running at the newest version.");
    ASSERT_EQ(service->Requests().size(), 1u);
    EXPECT_EQ(service->Requests()[0], "GET http://quorvel.example.org/verInfo HTTP/1.0");
}

TEST_F(VersionCheck, FailedRequestKeepsTheCheckingText)
{
    ASSERT_TRUE(StartService({ "--version", "0.2.4" }));
    const std::string address = service->address();
    service.reset(); // nobody listens there any more
    auto& f = Open();
    app::Guard([&] { f.lblHomePageClick(f.lblHomePage); });
    EXPECT_EQ(f.StatusBar->SimpleText(), "Checking for newer versions");
    EXPECT_EQ(ErrorTexts().size(), 1u);
}

TEST_F(VersionCheck, ALookupThatNeverAnswersEndsAfterHalfAMinute)
{
    // The resolver never answers while this test runs: only the time-out can end the check.
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    const auto previous = platform::SetHostResolver([gate](const std::string&) {
        std::unique_lock lock(gate->m);
        gate->cv.wait(lock, [&] { return gate->open; });
        return platform::HostLookupResult {};
    });
    SetEnvironment("QUORVEL_HOMEPAGE", "http://version.quorvel.test/");
    auto& f = Open();
    QElapsedTimer clock;
    clock.start();
    app::Guard([&] { f.lblHomePageClick(f.lblHomePage); });
    const qint64 elapsed = clock.elapsed();
    // The gate stays shut: an answer released now could arrive after the event loop is gone.
    platform::SetHostResolver(previous);
    EXPECT_GE(elapsed, 30000);
    EXPECT_LT(elapsed, 45000);
    EXPECT_EQ(ErrorTexts(), std::vector<std::string> { "Host Lookup Timed Out." });
}

class FileMenu : public CheckFixture { };

TEST_F(FileMenu, DeleteConfigEmptiesListAndStore)
{
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    ASSERT_TRUE(StoreAccount("B", "b", "pw"));
    auto& f = Open();
    ASSERT_EQ(f.clbItems->count(), 2);
    f.mnuRegistryDelete->trigger();
    EXPECT_EQ(f.StatusBar->SimpleText(), "Successful deleting of config!");
    EXPECT_EQ(f.clbItems->count(), 0);
    EXPECT_TRUE(f.FCurrentAccount.isEmpty());
    EXPECT_FALSE(f.btnCheckAll->isEnabled());
    EXPECT_FALSE(f.btnRemove->isEnabled());
    EXPECT_FALSE(f.edInfo->isEnabled());
    EXPECT_EQ(f.edUserName->text(), "");
    EXPECT_TRUE(settings::LoadAccountList().Names.empty());
    auto& again = Reopen();
    EXPECT_EQ(again.clbItems->count(), 0);
    EXPECT_TRUE(settings::LoadAccountList().Names.empty());
}

TEST_F(FileMenu, DeleteConfigWithNoAccounts)
{
    auto& f = Open();
    f.mnuRegistryDelete->trigger();
    EXPECT_EQ(f.StatusBar->SimpleText(), "Successful deleting of config!");
}

TEST_F(FileMenu, ExportStaysDisabledAndWritesANewFileOnly)
{
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    auto& f = Open();
    EXPECT_FALSE(f.mnuRegistrySave->isEnabled());
    QTemporaryDir folder;
    const QString file = folder.filePath("accounts.reg");

    dialogs->saveAnswers.push_back(file);
    app::Guard([&] { f.mnuRegistrySaveClick(f.mnuRegistrySave); });
    EXPECT_EQ(f.StatusBar->SimpleText(), "Successfully writing of config.");
    EXPECT_TRUE(QFile::exists(file));
    const auto size = QFile(file).size();

    dialogs->saveAnswers.push_back(file);
    app::Guard([&] { f.mnuRegistrySaveClick(f.mnuRegistrySave); });
    EXPECT_EQ(f.StatusBar->SimpleText(), "Error writing config.");
    EXPECT_EQ(QFile(file).size(), size);

    f.StatusBar->SetSimpleText("unchanged");
    app::Guard([&] { f.mnuRegistrySaveClick(f.mnuRegistrySave); }); // cancelled
    EXPECT_EQ(f.StatusBar->SimpleText(), "unchanged");
}

class TimerRule : public CheckFixture { };

TEST_F(TimerRule, PositiveMinutesSetTheIntervalOthersLeaveIt)
{
    auto& f = Open();
    f.edTimer->setText("1");
    EXPECT_EQ(f.timer->Interval(), 60000u);
    f.edTimer->setText("15");
    EXPECT_EQ(f.timer->Interval(), 900000u);
    f.edTimer->setText("0");
    EXPECT_EQ(f.timer->Interval(), 900000u);
    f.edTimer->setText("-4");
    EXPECT_EQ(f.timer->Interval(), 900000u);
    EXPECT_TRUE(f.timer->Running());
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(TimerRule, NotANumberIsReportedAndChangesNothing)
{
    auto& f = Open();
    f.edTimer->setText("7");
    f.edTimer->setText("7a");
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(ErrorTexts()[0], "'7a' is not a valid integer value.");
    f.edTimer->setText("");
    ASSERT_EQ(ErrorTexts().size(), 2u);
    EXPECT_EQ(ErrorTexts()[1], "'' is not a valid integer value.");
    EXPECT_EQ(f.timer->Interval(), 7u * 60000u);
}

TEST_F(TimerRule, TooManyMinutesAreHeldAtTheLongestInterval)
{
    auto& f = Open();
    f.edTimer->setText("71583"); // its milliseconds would not fit in 32 bits
    EXPECT_EQ(f.timer->Interval(), 35791u * 60000u);
    EXPECT_TRUE(f.timer->Running());
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(TimerRule, ArmedOnceAtStartFromTheStoredValue)
{
    auto& f = Open();
    // A first start shows "10".
    EXPECT_EQ(f.edTimer->text(), "10");
    EXPECT_EQ(f.timer->Interval(), 600000u);
}
