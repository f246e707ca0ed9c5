#include "app/Guard.h"
#include "platform/desktop/Application.h"
#include "tests/check/widget/CheckFixture.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using testing_support::CheckFixture;

// Runs that wait on a stalled server while the user and the timer go on.
class Overlap : public CheckFixture {
protected:
    void SetUp() override
    {
        CheckFixture::SetUp();
        // B stalls until released; A and C answer at once.
        ASSERT_TRUE(StartService({ "--account", "a:pw:1", "--account", "b:pw:2:fault=stall", "--account", "c:pw:4" }));
        ASSERT_TRUE(StoreAccount("A", "a", "pw"));
        ASSERT_TRUE(StoreAccount("B", "b", "pw"));
        ASSERT_TRUE(StoreAccount("C", "c", "pw"));
    }

    // How many requests of the stalled account the service has received so far.
    std::size_t StalledRequests()
    {
        std::size_t n = 0;
        for (const auto& line : service->Requests())
            n += line.find("login=b&") != std::string::npos;
        return n;
    }

    // Runs `during` once the run waits on the stalled account, then lets the server answer.
    void RunWith(std::function<void()> during, bool release = true, std::function<void()> start = {})
    {
        bool done = false;
        const std::size_t before = StalledRequests();
        std::function<void()> poll = [&, during, release] {
            if (done)
                return;
            if (StalledRequests() == before) {
                After(10, poll);
                return;
            }
            done = true;
            during();
            if (release)
                service->Release();
        };
        After(10, poll);
        if (start)
            start();
        else
            form->btnCheckAll->click();
        EXPECT_TRUE(done);
    }
};

TEST_F(Overlap, StartsDuringARunAreIgnored)
{
    auto& f = Open();
    RunWith([&] {
        f.btnCheckAll->click();
        f.pmnuCheckAll->trigger();
        f.timerTimer(f.timer);
    });
    EXPECT_EQ(f.StatusBar->SimpleText(), "7 total number of new message(s), all accounts");
    // One request per account: no second run was started.
    EXPECT_EQ(service->Requests().size(), 3u);
    EXPECT_EQ(f.FLastTotal, 7);
}

TEST_F(Overlap, TimerTickDuringARunIsIgnoredAndTheNextTickRuns)
{
    auto& f = Open();
    f.edTimer->setText("1");
    RunWith([&] { f.timerTimer(f.timer); });
    EXPECT_EQ(service->Requests().size(), 3u);
    // Once the run is over, the next tick starts a run of its own.
    RunWith([] {}, true, [&] { f.timerTimer(f.timer); });
    EXPECT_EQ(service->Requests().size(), 6u);
    EXPECT_EQ(f.StatusBar->SimpleText(), "7 total number of new message(s), all accounts");
}

TEST_F(Overlap, SelectingAddingAndRemovingAreLockedDuringARun)
{
    auto& f = Open();
    ASSERT_EQ(f.FCurrentAccount, "A");
    f.edInfo->setText("A's own comment");
    bool listLocked = false, addLocked = false, removeLocked = false, deleteLocked = false, fieldsLocked = false;
    QString shownDuring;
    RunWith([&] {
        listLocked = !f.clbItems->isEnabled();
        addLocked = !f.btnAdd->isEnabled();
        removeLocked = !f.btnRemove->isEnabled();
        deleteLocked = !f.mnuRegistryDelete->isEnabled();
        fieldsLocked = f.edInfo->isReadOnly();
        shownDuring = f.edUserName->text();
        // What the user tries meanwhile: a click on C, the Delete key, typing, the menu entry.
        const QRect itemC = f.clbItems->visualItemRect(f.clbItems->item(2));
        QTest::mouseClick(f.clbItems->viewport(), Qt::LeftButton, {}, itemC.center());
        QTest::keyClick(f.clbItems, Qt::Key_Delete);
        QTest::keyClicks(f.edInfo, "typed");
        f.btnRemove->click();
        f.btnAdd->click();
        f.mnuRegistryDelete->trigger();
    });
    EXPECT_TRUE(listLocked);
    EXPECT_TRUE(addLocked);
    EXPECT_TRUE(removeLocked);
    EXPECT_TRUE(deleteLocked);
    EXPECT_TRUE(fieldsLocked);
    EXPECT_EQ(shownDuring, "b");

    EXPECT_EQ(f.FCurrentAccount, "A");
    EXPECT_EQ(f.clbItems->count(), 3);
    EXPECT_TRUE(f.clbItems->isEnabled());
    EXPECT_TRUE(f.btnAdd->isEnabled());
    EXPECT_TRUE(f.btnRemove->isEnabled());
    EXPECT_FALSE(f.edInfo->isReadOnly());
    EXPECT_EQ(f.edInfo->text(), "A's own comment");
    EXPECT_TRUE(dialogs->inputPrompts.empty());
    // Every account kept its own fields.
    EXPECT_EQ(Stored("A").UserName, "a");
    EXPECT_EQ(Stored("A").Info, "A's own comment");
    EXPECT_EQ(Stored("B").UserName, "b");
    EXPECT_EQ(Stored("B").Info, "info of B");
    EXPECT_EQ(Stored("B").Status, "2");
    EXPECT_EQ(Stored("C").UserName, "c");
    EXPECT_EQ(Stored("C").Status, "4");
}

TEST_F(Overlap, LockRestoresWhatWasDisabledBefore)
{
    auto& f = Open();
    f.btnAdd->setEnabled(false);
    RunWith([] {});
    EXPECT_FALSE(f.btnAdd->isEnabled());
    EXPECT_TRUE(f.btnRemove->isEnabled());
}

TEST_F(Overlap, QuittingDuringARunEndsItAtOnceAndSavesTheCurrentAccount)
{
    auto& f = Open();
    f.edInfo->setText("kept at quit");
    QElapsedTimer clock;
    RunWith(
        [&] {
            clock.start();
            f.btnExit->click();
        },
        false);
    // The stalled request was given up: the run ended without waiting for the server.
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(platform::Application::instance().Terminated());
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_EQ(f.FCurrentAccount, "A");
    EXPECT_EQ(f.edUserName->text(), "a");
    EXPECT_EQ(f.edInfo->text(), "kept at quit");
    EXPECT_EQ(service->Requests().size(), 2u); // C was not checked after the quit

    form.reset(); // the end of the program: the window saves the current account
    EXPECT_EQ(Stored("A").UserName, "a");
    EXPECT_EQ(Stored("A").Info, "kept at quit");
    EXPECT_EQ(Stored("B").UserName, "b");
    EXPECT_EQ(Stored("B").Status, "N/A");
}

TEST_F(Overlap, VersionCheckDuringARun)
{
    auto& f = Open();
    RunWith([&] { app::Guard([&] { f.lblHomePageClick(f.lblHomePage); }); });
    // The version check answered inside the run; the run's report came last.
    EXPECT_EQ(f.StatusBar->SimpleText(), "7 total number of new message(s), all accounts");
    EXPECT_EQ(service->Requests().size(), 4u);
}
