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
using testing_support::WaitUntil;

class CheckAllRun : public CheckFixture {
protected:
    void Run() { form->btnCheckAll->click(); }
    QString Status() { return form->StatusBar->SimpleText(); }
    QString Hint() { return form->trayIcon->Hint(); }
};

TEST_F(CheckAllRun, TotalsThreeThreeFiveZeroGiveTheThreeReports)
{
    ASSERT_TRUE(ProvidePictures());
    ASSERT_TRUE(StartService({ "--account", "u3:pw:3", "--account", "u5:pw:5", "--account", "u0:pw:0" }));
    ASSERT_TRUE(StoreAccount("A", "u3", "pw"));
    auto& f = Open();

    Run();
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
    EXPECT_TRUE(TrayShowsCount(3));
    EXPECT_EQ(Hint(), Status());
    EXPECT_EQ(f.FLastTotal, 3);

    Run();
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
    EXPECT_TRUE(TrayShowsCount(3));

    f.edUserName->setText("u5"); // an edit of the current account, saved when the run starts
    Run();
    EXPECT_EQ(Status(), "5 total number of new message(s), all accounts. Since last checked: 2");
    EXPECT_TRUE(TrayShowsCount(5));
    EXPECT_EQ(Hint(), Status());

    f.edUserName->setText("u0");
    Run();
    EXPECT_EQ(Status(), "No messages!");
    EXPECT_TRUE(TrayShows("face04.ico"));
    EXPECT_EQ(Hint(), "No messages!");
    EXPECT_EQ(f.FLastTotal, 0);
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(CheckAllRun, AddsOnlyPositiveCountsAndRestoresTheCurrentAccount)
{
    ASSERT_TRUE(StartService(
        { "--account", "a:pw:2", "--account", "b:pw:fail", "--account", "c:pw:page=nothing", "--account", "d:pw:7" }));
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    ASSERT_TRUE(StoreAccount("B", "b", "pw"));
    ASSERT_TRUE(StoreAccount("C", "c", "pw"));
    ASSERT_TRUE(StoreAccount("D", "d", "pw"));
    auto& f = Open();
    ASSERT_EQ(f.FCurrentAccount, "A");
    f.edInfo->setText("edited before the run");
    Run();
    EXPECT_EQ(Status(), "9 total number of new message(s), all accounts");
    EXPECT_EQ(f.edUserName->text(), "a");
    EXPECT_EQ(f.edInfo->text(), "edited before the run");
    EXPECT_EQ(f.lblStatus->text(), "2");
    EXPECT_EQ(Stored("B").Status, "Login failed");
    EXPECT_EQ(Stored("C").Status, "Interpretion error...");
    EXPECT_EQ(Stored("D").Status, "7");
    EXPECT_EQ(Stored("D").UserName, "d");
    EXPECT_EQ(Stored("A").Info, "edited before the run");
}

TEST_F(CheckAllRun, EveryAccountFailingCountsAsNoMessages)
{
    ASSERT_TRUE(StartService({ "--account", "b:pw:fail" }));
    ASSERT_TRUE(StoreAccount("A", "a", "nope"));
    ASSERT_TRUE(StoreAccount("B", "b", "pw"));
    Open();
    Run();
    EXPECT_EQ(Status(), "No messages!");
}

TEST_F(CheckAllRun, EmptyListRunsFromTheTrayMenu)
{
    ASSERT_TRUE(ProvidePictures());
    auto& f = Open();
    ASSERT_FALSE(f.btnCheckAll->isEnabled());
    f.FLastTotal = 4;
    f.pmnuCheckAll->trigger();
    EXPECT_EQ(Status(), "No messages!");
    EXPECT_TRUE(TrayShows("face04.ico"));
    EXPECT_EQ(f.FLastTotal, 0);
    EXPECT_EQ(Hint(), "No messages!");
}

TEST_F(CheckAllRun, ClockIsShownDuringTheRun)
{
    ASSERT_TRUE(ProvidePictures());
    ASSERT_TRUE(StartService({ "--account", "a:pw:1:delay=400" }));
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    Open();
    bool clock = false;
    After(150, [&] { clock = TrayShows("aclock.ico"); });
    Run();
    EXPECT_TRUE(clock);
    EXPECT_TRUE(TrayShowsCount(1));
}

TEST_F(CheckAllRun, FailedRequestEndsTheRunWithTheReportUntouched)
{
    ASSERT_TRUE(ProvidePictures());
    ASSERT_TRUE(StartService({ "--account", "a:pw:3", "--account", "b:pw:4" }));
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    ASSERT_TRUE(StoreAccount("B", "b", "pw"));
    ASSERT_TRUE(StoreAccount("C", "c", "pw"));
    auto& f = Open();
    Run();
    ASSERT_EQ(Status(), "7 total number of new message(s), all accounts");
    const QString hint = Hint();
    const QImage picture = TrayImage();

    // The server is gone: the first request of the next run is refused.
    service.reset();
    Run();
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(Status(), "Checking host: Hotmail - name: a");
    EXPECT_EQ(f.FLastTotal, 7);
    EXPECT_EQ(Hint(), hint);
    // Not the clock: the picture from before the run.
    EXPECT_EQ(TrayImage(), picture);
    EXPECT_FALSE(TrayShows("aclock.ico"));
    // The current account's own fields are shown again, and nothing of the run was saved.
    EXPECT_EQ(f.FCurrentAccount, "A");
    EXPECT_EQ(f.edUserName->text(), "a");
    EXPECT_EQ(Stored("A").Status, "3");
    EXPECT_EQ(Stored("B").Status, "4");
}

TEST_F(CheckAllRun, ConversionErrorOfThePageEndsTheRun)
{
    ASSERT_TRUE(StartService({ "--account", "a:pw:page=messages, none here", "--account", "b:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    ASSERT_TRUE(StoreAccount("B", "b", "pw"));
    auto& f = Open();
    Run();
    ASSERT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(ErrorTexts()[0], "'' is not a valid integer value.");
    EXPECT_EQ(service->Requests().size(), 1u); // the second account was not checked
    EXPECT_EQ(Stored("A").Status, "N/A");
    EXPECT_EQ(f.FLastTotal, 0);
}

TEST_F(CheckAllRun, MissingPicturesLeaveTheTrayIconAsItWas)
{
    ASSERT_TRUE(StartService({ "--account", "a:pw:3" }));
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    Open();
    const QImage before = TrayImage();
    ASSERT_FALSE(before.isNull());
    Run();
    EXPECT_EQ(Status(), "3 total number of new message(s), all accounts");
    EXPECT_EQ(TrayImage(), before);
    EXPECT_EQ(Hint(), Status());
}

TEST_F(CheckAllRun, OtherHostTypeDoesNotEndTheRun)
{
    ASSERT_TRUE(StartService({ "--account", "a:pw:3", "--account", "c:pw:2" }));
    ASSERT_TRUE(StoreAccount("A", "a", "pw"));
    ASSERT_TRUE(StoreAccount("B", "b", "pw", "Hotbot"));
    ASSERT_TRUE(StoreAccount("C", "c", "pw"));
    Open();
    Run();
    EXPECT_EQ(Status(), "5 total number of new message(s), all accounts");
    EXPECT_EQ(Stored("B").Status, "Error with host-name");
    EXPECT_EQ(service->Requests().size(), 2u);
    EXPECT_TRUE(ErrorTexts().empty());
}
