#include "settings/RegistryAccessor.h"
#include "settings/Store.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

using testing_support::WindowFixture;

namespace {

// The six detail controls and their six captions.
std::vector<QWidget*> details(app::TfrmQuorvel& f)
{
    return { f.edInfo, f.cbHost, f.edUserName, f.mePassword, f.lblLastChecked, f.lblStatus, f.lblTag, f.lblHost,
        f.lblUsername, f.lblPassword, f.lblLastCheckedLeft, f.lblStatusLeft };
}

void expectNoAccountState(app::TfrmQuorvel& f)
{
    EXPECT_EQ(f.clbItems->count(), 0);
    EXPECT_TRUE(f.FCurrentAccount.isEmpty());
    EXPECT_EQ(f.edInfo->text(), "");
    EXPECT_EQ(f.cbHost->currentText(), "");
    EXPECT_EQ(f.edUserName->text(), "");
    EXPECT_EQ(f.mePassword->text(), "");
    EXPECT_EQ(f.lblLastChecked->text(), "N/A");
    EXPECT_EQ(f.lblStatus->text(), "N/A");
    for (QWidget* w : details(f))
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_FALSE(f.btnRemove->isEnabled());
    EXPECT_FALSE(f.btnCheckAll->isEnabled());
}

void typeInto(QWidget* w, const QString& text)
{
    QTest::keyClicks(w, text);
}

void enter(QWidget* w, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QFocusEvent event(QEvent::FocusIn, reason);
    QApplication::sendEvent(w, &event);
}

} // namespace

class AccountList : public WindowFixture {
protected:
    // Adds an account through the input box and fills its fields as the user would.
    void add(const QString& name, const QString& info = {}, const QString& user = {}, const QString& password = {})
    {
        dialogs->inputAnswers.push_back(name);
        form->btnAdd->click();
        form->edInfo->setText(info);
        form->cbHost->setEditText("Hotmail");
        form->edUserName->setText(user);
        form->mePassword->setText(password);
    }
};

TEST_F(AccountList, FirstStartClearsAndDisablesEverything)
{
    auto& f = Open();
    expectNoAccountState(f);
    EXPECT_EQ(f.edTimer->text(), "10");
    EXPECT_FALSE(f.cbProxy->isChecked());
    EXPECT_EQ(f.edProxyHost->text(), "");
    EXPECT_EQ(f.edProxyPort->text(), "");
    for (QWidget* w : { static_cast<QWidget*>(f.edProxyHost), static_cast<QWidget*>(f.edProxyPort),
             static_cast<QWidget*>(f.lblProxyHost), static_cast<QWidget*>(f.lblProxyPort) })
        EXPECT_FALSE(w->isEnabled());
    EXPECT_EQ(f.StatusBar->SimpleText(), "");
    EXPECT_EQ(f.FLastTotal, 0);
    EXPECT_EQ(f.timer->Interval(), 10U * 60000U);
}

TEST_F(AccountList, AddWithOkAppendsTheAccountAndMakesItCurrent)
{
    auto& f = Open();
    add("Alpha", "first");
    dialogs->inputAnswers.push_back(QString("Beta"));
    f.btnAdd->click();

    ASSERT_EQ(dialogs->inputPrompts.size(), 2U);
    const QStringList asked = dialogs->inputPrompts[1].split('|');
    EXPECT_EQ(asked[0], "New account");
    EXPECT_EQ(asked[1], "Name:");
    EXPECT_TRUE(QRegularExpression(R"(^\[Account Name:\S.*\]$)").match(asked[2]).hasMatch()) << asked[2].toStdString();

    ASSERT_EQ(f.clbItems->count(), 2);
    EXPECT_EQ(f.clbItems->item(0)->text(), "Alpha");
    EXPECT_EQ(f.clbItems->item(1)->text(), "Beta");
    EXPECT_TRUE(f.clbItems->selectedItems().isEmpty());
    EXPECT_EQ(f.FCurrentAccount, "Beta");
    EXPECT_TRUE(f.btnRemove->isEnabled());
    EXPECT_TRUE(f.btnCheckAll->isEnabled());
    EXPECT_EQ(f.edInfo->text(), "");
    EXPECT_EQ(f.cbHost->currentText(), "");
    EXPECT_EQ(f.lblStatus->text(), "N/A");
    for (QWidget* w : details(f))
        EXPECT_TRUE(w->isEnabled());
}

TEST_F(AccountList, CancelOrAnEmptyNameAddsNothingButTheCurrentAccountIsSaved)
{
    auto& f = Open();
    add("Alpha", "edited before the add");
    dialogs->inputAnswers.push_back(std::nullopt);
    f.btnAdd->click();
    dialogs->inputAnswers.push_back(QString());
    f.btnAdd->click();
    EXPECT_EQ(f.clbItems->count(), 1);
    EXPECT_EQ(f.FCurrentAccount, "Alpha");
    EXPECT_EQ(f.edInfo->text(), "edited before the add");

    auto& again = Reopen();
    ASSERT_EQ(again.clbItems->count(), 1);
    EXPECT_EQ(again.edInfo->text(), "edited before the add");
}

TEST_F(AccountList, TypingHotbotDisablesTheUserNameOnlyWhileDetailsAreEnabled)
{
    auto& f = Open();
    // No accounts: the details are disabled and stay so whatever the host says.
    f.cbHost->setEnabled(true);
    typeInto(f.cbHost->lineEdit(), "Hotmail");
    EXPECT_FALSE(f.edUserName->isEnabled());
    f.cbHost->setEnabled(false);

    add("Alpha");
    f.cbHost->lineEdit()->clear();
    typeInto(f.cbHost->lineEdit(), "Hotbot");
    EXPECT_FALSE(f.edUserName->isEnabled());
    EXPECT_FALSE(f.lblUsername->isEnabled());
    QTest::keyClick(f.cbHost->lineEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(f.edUserName->isEnabled());
    EXPECT_TRUE(f.lblUsername->isEnabled());
    typeInto(f.cbHost->lineEdit(), "t");
    EXPECT_FALSE(f.edUserName->isEnabled());
    // The comparison is exact.
    f.cbHost->lineEdit()->clear();
    typeInto(f.cbHost->lineEdit(), "hotbot");
    EXPECT_TRUE(f.edUserName->isEnabled());
}

TEST_F(AccountList, TheProxyCheckBoxEnablesTheProxyFields)
{
    auto& f = Open();
    std::vector<QWidget*> proxy { f.edProxyHost, f.edProxyPort, f.lblProxyHost, f.lblProxyPort };
    f.cbProxy->click();
    for (QWidget* w : proxy)
        EXPECT_TRUE(w->isEnabled());
    f.cbProxy->click();
    for (QWidget* w : proxy)
        EXPECT_FALSE(w->isEnabled());
}

TEST_F(AccountList, EnteringTheUserNameWithAnEmptyHostSetsHotmailAndSaysSo)
{
    auto& f = Open();
    add("Alpha");
    f.cbHost->setEditText("");
    enter(f.edUserName);
    EXPECT_EQ(f.cbHost->currentText(), "Hotmail");
    ASSERT_EQ(dialogs->messages.size(), 1U);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text, "New version of this program will include\r\nother hosts than Hotmail!");
    // With a host already there, entering says nothing.
    enter(f.edUserName);
    EXPECT_EQ(dialogs->messages.size(), 1U);
    // Coming back to the window is not entering the field.
    f.cbHost->setEditText("");
    enter(f.edUserName, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(dialogs->messages.size(), 1U);
    enter(f.edUserName, Qt::MouseFocusReason);
    EXPECT_EQ(dialogs->messages.size(), 2U);
}

TEST_F(AccountList, RemovingTheLastAccountLeavesTheNoAccountState)
{
    auto& f = Open();
    add("Alpha", "x", "alpha", "secret");
    f.btnRemove->click();
    expectNoAccountState(f);
    EXPECT_EQ(f.StatusBar->SimpleText(), "");
    expectNoAccountState(Reopen());
}

TEST_F(AccountList, RemoveMakesTheFirstRemainingAccountCurrent)
{
    auto& f = Open();
    add("Alpha", "a-info", "alpha");
    add("Beta", "b-info", "beta");
    add("Gamma", "g-info", "gamma");
    f.btnRemove->click(); // Gamma is current
    ASSERT_EQ(f.clbItems->count(), 2);
    EXPECT_EQ(f.FCurrentAccount, "Alpha");
    EXPECT_EQ(f.edInfo->text(), "a-info");
    EXPECT_EQ(f.edUserName->text(), "alpha");
    EXPECT_TRUE(f.clbItems->selectedItems().isEmpty());
}

TEST_F(AccountList, DeleteKeyRemovesTheCurrentAccountNotTheHighlightedOne)
{
    auto& f = Open();
    add("Alpha", "a-info");
    add("Beta", "b-info");
    // Beta is current; Alpha is highlighted without being taken over.
    {
        const QSignalBlocker blocker(f.clbItems);
        f.clbItems->setCurrentRow(0);
    }
    QTest::keyClick(f.clbItems, Qt::Key_Delete);
    ASSERT_EQ(f.clbItems->count(), 1);
    EXPECT_EQ(f.clbItems->item(0)->text(), "Alpha");
    EXPECT_EQ(f.FCurrentAccount, "Alpha");
}

TEST_F(AccountList, DeleteKeyInAnEmptyListCannotDelete)
{
    auto& f = Open();
    QTest::keyClick(f.clbItems, Qt::Key_Delete);
    EXPECT_EQ(f.StatusBar->SimpleText(), "Could'nt delete user");
    expectNoAccountState(f);
}

TEST_F(AccountList, ClickingAnItemSavesTheCurrentAccountAndLoadsTheClickedOne)
{
    auto& f = Open();
    add("Alpha", "a-info", "alpha", "pa");
    add("Beta", "b-info", "beta", "pb");
    f.show();
    const QRect alpha = f.clbItems->visualItemRect(f.clbItems->item(0));
    QTest::mouseClick(f.clbItems->viewport(), Qt::LeftButton, {}, alpha.center());
    EXPECT_EQ(f.FCurrentAccount, "Alpha");
    EXPECT_EQ(f.edInfo->text(), "a-info");
    EXPECT_EQ(f.mePassword->text(), "pa");
    f.edInfo->setText("a-edited");

    const QRect beta = f.clbItems->visualItemRect(f.clbItems->item(1));
    QTest::mouseClick(f.clbItems->viewport(), Qt::LeftButton, {}, beta.center());
    EXPECT_EQ(f.FCurrentAccount, "Beta");
    EXPECT_EQ(f.edInfo->text(), "b-info");
    EXPECT_EQ(f.edUserName->text(), "beta");
    EXPECT_EQ(f.mePassword->text(), "pb");

    QTest::mouseClick(f.clbItems->viewport(), Qt::LeftButton, {}, alpha.center());
    EXPECT_EQ(f.edInfo->text(), "a-edited");
    f.hide();
}

TEST_F(AccountList, MovingTheSelectionByKeyboardTakesTheAccountOver)
{
    auto& f = Open();
    add("Alpha", "a-info");
    add("Beta", "b-info");
    f.show();
    f.clbItems->setFocus();
    QTest::keyClick(f.clbItems, Qt::Key_Home);
    EXPECT_EQ(f.FCurrentAccount, "Alpha");
    EXPECT_EQ(f.edInfo->text(), "a-info");
    QTest::keyClick(f.clbItems, Qt::Key_Down);
    EXPECT_EQ(f.FCurrentAccount, "Beta");
    EXPECT_EQ(f.edInfo->text(), "b-info");
    f.hide();
}

TEST_F(AccountList, RestartShowsTheStoredAccountsInOrderWithTheFirstCurrent)
{
    Open();
    add("Beta", "b-info", "beta", "b-pass");
    add("Alpha", "a-info", "alpha", "a-pass");
    auto& again = Reopen();
    ASSERT_EQ(again.clbItems->count(), 2);
    // The store lists its accounts in name order.
    EXPECT_EQ(again.clbItems->item(0)->text(), "Alpha");
    EXPECT_EQ(again.clbItems->item(1)->text(), "Beta");
    EXPECT_EQ(again.FCurrentAccount, "Alpha");
    EXPECT_EQ(again.edInfo->text(), "a-info");
    EXPECT_EQ(again.cbHost->currentText(), "Hotmail");
    EXPECT_EQ(again.edUserName->text(), "alpha");
    EXPECT_EQ(again.mePassword->text(), "a-pass");
    EXPECT_TRUE(again.clbItems->selectedItems().isEmpty());
    EXPECT_TRUE(again.btnRemove->isEnabled());
    EXPECT_TRUE(again.btnCheckAll->isEnabled());
    for (QWidget* w : details(again))
        EXPECT_TRUE(w->isEnabled());
}

TEST_F(AccountList, ALoadedHotbotAccountHasItsUserNameDisabled)
{
    Open();
    add("Alpha");
    form->cbHost->setEditText("Hotbot");
    auto& again = Reopen();
    EXPECT_EQ(again.cbHost->currentText(), "Hotbot");
    EXPECT_FALSE(again.edUserName->isEnabled());
    EXPECT_FALSE(again.lblUsername->isEnabled());
    EXPECT_TRUE(again.edInfo->isEnabled());
}

TEST_F(AccountList, ARecordWithoutSeedNeverInheritsAnotherAccountsPassword)
{
    Open();
    add("Alpha", "f-info", "full", "full-secret");
    form->lblStatus->setText("3");
    form->lblLastChecked->setText("12/9/26 || 6:00:00 AM");
    form.reset();
    {
        // A record made by other means: no seed, no password.
        settings::RegistryAccessor accessor;
        ASSERT_TRUE(accessor.OpenKey("\\software\\Brask\\Quorvel\\account\\Bare", true));
        accessor.WriteString("info", "bare-info");
        accessor.WriteString("host", "Hotmail");
        accessor.WriteString("username", "bare-user");
    }
    auto& f = Open();
    ASSERT_EQ(f.clbItems->count(), 2);
    f.show();
    auto click = [&](int row) {
        QTest::mouseClick(
            f.clbItems->viewport(), Qt::LeftButton, {}, f.clbItems->visualItemRect(f.clbItems->item(row)).center());
    };
    // Alpha comes first and is current, with its password in the field.
    ASSERT_EQ(f.FCurrentAccount, "Alpha");
    EXPECT_EQ(f.mePassword->text(), "full-secret");
    click(1);
    ASSERT_EQ(f.FCurrentAccount, "Bare");
    EXPECT_EQ(f.edInfo->text(), "bare-info");
    EXPECT_EQ(f.edUserName->text(), "bare-user");
    EXPECT_EQ(f.mePassword->text(), "");
    EXPECT_EQ(f.lblStatus->text(), "N/A");
    EXPECT_EQ(f.lblLastChecked->text(), "N/A");
    click(0);
    f.hide();
    EXPECT_EQ(settings::LoadAccount("Bare").Password.value_or("?"), "");
    EXPECT_EQ(settings::LoadAccount("Alpha").Password.value_or("?"), "full-secret");
}
