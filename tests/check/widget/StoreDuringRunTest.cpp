// A run whose store stops answering part-way, and what a run does to the focus and to quitting.
#include "app/Guard.h"
#include "platform/desktop/Application.h"
#include "tests/check/widget/CheckFixture.h"
#include "tests/support/StoreLock.h"
#include "tests/support/StoreRows.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using testing_support::AccountRows;
using testing_support::CheckFixture;

namespace {

// The rows without the "password" and "seed" values, which every save scrambles anew.
std::string WithoutSecrets(const std::string& rows)
{
    std::string kept;
    std::size_t at = 0;
    while (at < rows.size()) {
        std::size_t end = rows.find('\n', at);
        end = end == std::string::npos ? rows.size() : end + 1;
        const std::string line = rows.substr(at, end - at);
        if (line.find(" 70617373776F7264 ") == std::string::npos && line.find(" 73656564 ") == std::string::npos)
            kept += line;
        at = end;
    }
    return kept;
}

class StoreDuringRun : public CheckFixture {
protected:
    void SetUp() override
    {
        CheckFixture::SetUp();
        // A's check waits until released, so the store can be spoilt meanwhile.
        ASSERT_TRUE(
            StartService({ "--account", "a:pw-a:1:fault=stall", "--account", "b:pw-b:2", "--account", "c:pw-c:4" }));
        ASSERT_TRUE(StoreAccount("A", "a", "pw-a"));
        ASSERT_TRUE(StoreAccount("B", "b", "pw-b"));
        ASSERT_TRUE(StoreAccount("C", "c", "pw-c"));
        path_ = std::getenv("QUORVEL_REGISTRY");
    }

    // Starts a run; once A's request is waiting (the run has saved the current account), takes
    // the records as they are, runs `spoil` and lets the service answer.
    void RunAndSpoil(std::function<void()> spoil)
    {
        bool spoilt = false;
        std::function<void()> poll = [&] {
            if (service->Requests().empty()) {
                After(10, poll);
                return;
            }
            spoilt = true;
            before = AccountRows(path_);
            spoil();
            service->Release();
        };
        After(10, poll);
        form->btnCheckAll->click();
        ASSERT_TRUE(spoilt);
    }

    void ExpectTheRunEndedAtB()
    {
        // B was never asked for, and neither was C; the run ended through the error report.
        EXPECT_EQ(service->Requests().size(), 1u);
        const auto texts = ErrorTexts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], "The settings of account 'B' cannot be read.");
        EXPECT_EQ(form->cbHost->isEnabled(), form->edInfo->isEnabled());
    }

    std::string path_;
    std::string before;
};

TEST_F(StoreDuringRun, AnotherInstanceHoldingTheLockLeavesEveryRecordAsItWas)
{
    auto& f = Open();
    std::unique_ptr<testing_support::StoreLock> lock;
    RunAndSpoil([&] {
        lock = std::make_unique<testing_support::StoreLock>(QString(QUORVEL_LOCK_HOLDER), path_);
        ASSERT_TRUE(lock->Locked());
    });
    ASSERT_NE(before.find("41 41 "), std::string::npos) << before;
    // Reads do not wait for the other instance's write, so the run may go on to B and C; every
    // save meanwhile fails and is taken back whole. Nothing of B's or C's shows under A's name.
    EXPECT_EQ(f.FCurrentAccount, "A");
    EXPECT_NE(f.edInfo->text(), "info of B");
    EXPECT_NE(f.edInfo->text(), "info of C");
    EXPECT_EQ(AccountRows(path_), before);
    lock->Release();
    EXPECT_EQ(AccountRows(path_), before);
    form.reset(); // the shutdown save, with the store free again
    // That save may write A anew, under a fresh seed; every other value stays as it was.
    EXPECT_EQ(WithoutSecrets(AccountRows(path_)), WithoutSecrets(before));
    const auto a = Stored("A");
    ASSERT_TRUE(a.Password);
    EXPECT_EQ(*a.Password, "pw-a");
    EXPECT_EQ(*Stored("B").Password, "pw-b");
    EXPECT_EQ(*Stored("C").Password, "pw-c");
}

TEST_F(StoreDuringRun, AFileMadeUnreadableLeavesEveryRecordAsItWas)
{
    Open();
    const std::string aside = path_ + ".aside";
    RunAndSpoil([&] {
        ASSERT_EQ(std::rename(path_.c_str(), aside.c_str()), 0);
        QFile scribble(QString::fromStdString(path_));
        ASSERT_TRUE(scribble.open(QIODevice::WriteOnly));
        scribble.write("overwritten by some other program\n");
    });
    ExpectTheRunEndedAtB();
    ASSERT_NE(before.find("41 41 "), std::string::npos) << before;
    // The store's own journal stayed beside the path, so the records are whole once it is back.
    ASSERT_EQ(std::rename(aside.c_str(), path_.c_str()), 0);
    EXPECT_EQ(AccountRows(path_), before);
    form.reset(); // the shutdown save, with the store back in place
    EXPECT_EQ(AccountRows(path_), before);
}

class RunStart : public CheckFixture {
protected:
    // The focus in the host field of an account whose host is empty; null when the account
    // could not be stored.
    app::TfrmQuorvel* FocusInAnEmptyHost()
    {
        if (!StoreAccount("Nohost", "n", "pw", ""))
            return nullptr;
        auto& f = Open();
        f.show();
        QApplication::setActiveWindow(&f);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
        f.cbHost->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(f.cbHost->hasFocus());
        EXPECT_EQ(f.cbHost->currentText(), "");
        return &f;
    }

    bool NewVersionBoxShown()
    {
        for (const auto& text : ErrorTexts())
            if (text.find("New version of this program") != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(RunStart, FromTheButtonsAcceleratorOpensNoBox)
{
    auto* focused = FocusInAnEmptyHost();
    ASSERT_TRUE(focused);
    auto& f = *focused;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
    // The accelerator clicks the button a moment later, as a visible press.
    for (int waited = 0; waited < 10000 && f.StatusBar->SimpleText() != "No messages!"; waited += 20)
        QTest::qWait(20);
    EXPECT_EQ(f.StatusBar->SimpleText(), "No messages!"); // the run took place
    EXPECT_FALSE(NewVersionBoxShown());
    EXPECT_TRUE(f.cbHost->hasFocus());
    f.hide();
}

TEST_F(RunStart, FromTheTrayMenuOpensNoBox)
{
    auto* focused = FocusInAnEmptyHost();
    ASSERT_TRUE(focused);
    auto& f = *focused;
    f.pmnuCheckAll->trigger();
    EXPECT_EQ(f.StatusBar->SimpleText(), "No messages!");
    EXPECT_FALSE(NewVersionBoxShown());
    f.hide();
}

class QuitDuringVersionCheck : public CheckFixture { };

TEST_F(QuitDuringVersionCheck, ShowsNoErrorBox)
{
    ASSERT_TRUE(StartService({ "--fault", "stall" }));
    auto& f = Open();
    std::function<void()> poll = [&] {
        if (service->Requests().empty()) {
            After(10, poll);
            return;
        }
        f.btnExit->click();
    };
    After(10, poll);
    app::Guard([&] { f.lblHomePageClick(f.lblHomePage); });
    EXPECT_TRUE(platform::Application::instance().Terminated());
    EXPECT_EQ(service->Requests().size(), 1u);
    EXPECT_TRUE(ErrorTexts().empty());
}

} // namespace
