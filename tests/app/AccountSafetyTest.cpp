// The window never lets one account's fields reach another's record: names at Add, the
// highlight and the current account, loads that cannot read the store, an unusable store.
#include "settings/Store.h"
#include "tests/support/StoreRows.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::WindowFixture;

namespace {

class AccountSafety : public WindowFixture {
protected:
    void add(const QString& name, const QString& info, const QString& password)
    {
        dialogs->inputAnswers.push_back(name);
        form->btnAdd->click();
        form->edInfo->setText(info);
        form->cbHost->setEditText("Hotmail");
        form->edUserName->setText("user of " + info);
        form->mePassword->setText(password);
    }

    std::string StorePath() const { return std::getenv("QUORVEL_REGISTRY"); }

    QStringList Listed() const
    {
        QStringList names;
        for (int i = 0; i < form->clbItems->count(); ++i)
            names << form->clbItems->item(i)->text();
        return names;
    }

    QPoint RowCentre(int row) const { return form->clbItems->visualItemRect(form->clbItems->item(row)).center(); }
};

TEST_F(AccountSafety, ANameTakenInAnotherLetterCaseIsRefusedAndTheCurrentAccountStays)
{
    auto& f = Open();
    add("Work", "office", "secret-w");
    dialogs->inputAnswers.push_back(QString("  work "));
    f.btnAdd->click();

    EXPECT_EQ(Listed(), QStringList { "Work" });
    EXPECT_EQ(f.FCurrentAccount, "Work");
    EXPECT_EQ(f.edInfo->text(), "office");
    EXPECT_EQ(f.mePassword->text(), "secret-w");
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text, "An account named 'work' exists already.");

    Reopen();
    EXPECT_EQ(settings::LoadAccount("Work").Password, "secret-w");
    EXPECT_EQ(settings::LoadAccountList().Names, std::vector<std::string> { "Work" });
}

class RefusedName : public AccountSafety, public ::testing::WithParamInterface<std::pair<const char*, const char*>> { };

TEST_P(RefusedName, IsSaidAndNothingIsAddedOrStored)
{
    auto& f = Open();
    add("Home", "home", "secret-h");
    dialogs->inputAnswers.push_back(QString::fromUtf8(GetParam().first));
    f.btnAdd->click();

    EXPECT_EQ(Listed(), QStringList { "Home" });
    EXPECT_EQ(f.FCurrentAccount, "Home");
    EXPECT_EQ(f.edInfo->text(), "home");
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text.toStdString(), GetParam().second);

    auto& again = Reopen();
    EXPECT_EQ(again.clbItems->count(), 1);
    EXPECT_EQ(settings::LoadAccountList().Names, std::vector<std::string> { "Home" });
}

INSTANTIATE_TEST_SUITE_P(KeyNamesTheStoreCannotHold, RefusedName,
    ::testing::Values(std::pair { "x\\y", "An account name cannot contain a backslash (\\)." },
        std::pair { "x\\", "An account name cannot contain a backslash (\\)." },
        std::pair { "tab\there", "An account name cannot contain control characters." },
        std::pair { "bell\a", "An account name cannot contain control characters." }));

TEST_F(AccountSafety, BlanksAroundANameGoAndANameOfBlanksIsEmpty)
{
    auto& f = Open();
    dialogs->inputAnswers.push_back(QString("   "));
    f.btnAdd->click();
    EXPECT_EQ(f.clbItems->count(), 0);
    EXPECT_TRUE(dialogs->messages.empty());

    add("  Home  ", "home", "pw");
    EXPECT_EQ(Listed(), QStringList { "Home" });
    EXPECT_EQ(f.FCurrentAccount, "Home");
    EXPECT_TRUE(dialogs->messages.empty());
    Reopen();
    EXPECT_EQ(settings::LoadAccountList().Names, std::vector<std::string> { "Home" });
    EXPECT_EQ(settings::LoadAccount("Home").Password, "pw");
}

TEST_F(AccountSafety, PressOnOneRowAndReleaseOnAnotherMakesTheReleasedOneCurrent)
{
    auto& f = Open();
    add("Alpha", "a-info", "pa");
    add("Beta", "b-info", "pb");
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QWidget* viewport = f.clbItems->viewport();
    const QPoint a = RowCentre(0);
    const QPoint b = RowCentre(1);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, a);
    ASSERT_EQ(f.FCurrentAccount, "Alpha");

    // Press on Beta, drag to Alpha, release there: Alpha is highlighted, and current.
    QTest::mousePress(viewport, Qt::LeftButton, {}, b);
    EXPECT_EQ(f.FCurrentAccount, "Beta");
    QMouseEvent drag(QEvent::MouseMove, a, viewport->mapToGlobal(a), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drag);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, a);
    ASSERT_EQ(f.clbItems->selectedItems().size(), 1);
    EXPECT_EQ(f.clbItems->selectedItems().first()->text(), "Alpha");
    EXPECT_EQ(f.FCurrentAccount, "Alpha");
    EXPECT_EQ(f.edInfo->text(), "a-info");
    f.edInfo->setText("a-edited");
    f.hide();

    Reopen();
    EXPECT_EQ(settings::LoadAccount("Alpha").Info, "a-edited");
    EXPECT_EQ(settings::LoadAccount("Beta").Info, "b-info");
}

// How the record of the account clicked becomes unreadable: the whole store, or only the pages
// that hold the tail of a long value while its key and the short values still read.
class UnreadableRecord : public AccountSafety, public ::testing::WithParamInterface<const char*> { };

TEST_P(UnreadableRecord, AClickThatCannotReadItNeverBlanksIt)
{
    const QString longInfo = "b-info " + QString(12000, 'i');
    Open();
    add("Alpha", "a-info", "pa");
    add("Beta", longInfo, "pb");
    auto& f = Reopen();
    const std::string before = testing_support::AccountRows(StorePath());
    ASSERT_FALSE(before.empty());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    {
        const std::string aside = StorePath() + ".aside";
        const std::string spoilt = StorePath() + ".spoilt";
        if (std::string(GetParam()) == "value pages") {
            ASSERT_TRUE(testing_support::CopyWithSpoiltValuePages(StorePath(), spoilt));
        } else {
            // Another program puts a file of its own where the store was.
            QFile scribble(QString::fromStdString(spoilt));
            ASSERT_TRUE(scribble.open(QIODevice::WriteOnly));
            scribble.write("overwritten by some other program\n");
        }
        ASSERT_EQ(std::rename(StorePath().c_str(), aside.c_str()), 0);
        ASSERT_EQ(std::rename(spoilt.c_str(), StorePath().c_str()), 0);
        QTest::mouseClick(f.clbItems->viewport(), Qt::LeftButton, {}, RowCentre(1));
        ASSERT_EQ(std::rename(aside.c_str(), StorePath().c_str()), 0);
    }
    EXPECT_EQ(f.FCurrentAccount, "Beta");
    EXPECT_EQ(f.edInfo->text(), "");
    EXPECT_EQ(f.mePassword->text(), "");
    EXPECT_FALSE(f.edInfo->isEnabled());
    EXPECT_FALSE(f.mePassword->isEnabled());
    EXPECT_EQ(f.StatusBar->SimpleText(), "The settings of account 'Beta' cannot be read");
    f.hide();
    form.reset(); // the shutdown save
    EXPECT_EQ(testing_support::AccountRows(StorePath()), before);

    // Once the store answers again, the record shows as it is.
    auto& later = Open();
    QTest::mouseClick(later.clbItems->viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(later.FCurrentAccount, "Beta");
    EXPECT_EQ(later.edInfo->text(), longInfo);
    EXPECT_EQ(later.mePassword->text(), "pb");
    EXPECT_TRUE(later.edInfo->isEnabled());
    EXPECT_TRUE(later.cbHost->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(AccountSafety, UnreadableRecord, ::testing::Values("store file", "value pages"),
    [](const auto& info) { return std::string(info.param) == "value pages" ? "ValuePages" : "StoreFile"; });

TEST_F(AccountSafety, AUsableStoreSaysNothingAtStart)
{
    Open();
    EXPECT_TRUE(dialogs->messages.empty());
}

// How the store file is spoiled, and the reason the window gives.
struct Spoilt {
    const char* name;
    const char* reason;
};

class UnusableStore : public AccountSafety, public ::testing::WithParamInterface<Spoilt> {
protected:
    void SetUp() override
    {
        AccountSafety::SetUp();
        const std::string how = GetParam().name;
        path_ = StorePath();
        if (how == "cannot be created") {
            const std::string blocker = folder_.path().toStdString() + "/blocker";
            WriteFile(blocker, "a file where the folder should be\n");
            path_ = blocker + "/registry.sqlite3";
            setenv("QUORVEL_REGISTRY", path_.c_str(), 1);
            return;
        }
        if (how == "another program's database") {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
            ASSERT_EQ(
                sqlite3_exec(db, "CREATE TABLE notes(t); INSERT INTO notes VALUES('mine');", nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(db);
        } else if (how == "not a database") {
            WriteFile(path_, "some text file\n");
        } else {
            // A store of ours with an account, then made read-only or given away. It is written
            // elsewhere and copied in place, as this process would otherwise go on using the
            // store it has open.
            const std::string elsewhere = folder_.path().toStdString() + "/elsewhere.sqlite3";
            setenv("QUORVEL_REGISTRY", elsewhere.c_str(), 1);
            settings::TAccount a { "Kept", "i", "Hotmail", "u", "p", "N/A", "N/A" };
            ASSERT_TRUE(settings::SaveAccount(a));
            ASSERT_TRUE(settings::SaveSettings({ "25", true, "proxy", "8080" }));
            ASSERT_TRUE(testing_support::ExecOnStore(elsewhere, "PRAGMA wal_checkpoint(TRUNCATE)"));
            ASSERT_TRUE(QFile::copy(QString::fromStdString(elsewhere), QString::fromStdString(path_)));
            setenv("QUORVEL_REGISTRY", path_.c_str(), 1);
            if (how == "read-only") {
                ASSERT_EQ(chmod(path_.c_str(), 0400), 0);
            } else if (how == "owned by another user") {
                if (geteuid() != 0)
                    GTEST_SKIP() << "giving a file away needs root";
                ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
            }
        }
        QFile file(QString::fromStdString(path_));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        bytes_ = file.readAll();
    }

    static void WriteFile(const std::string& path, const char* text)
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    std::string path_;
    QByteArray bytes_;
};

TEST_P(UnusableStore, IsSaidOnceAtStartAndTheFileStaysAsItWas)
{
    auto& f = Open();
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text.toStdString(), "Settings cannot be saved: " + path_ + ": " + GetParam().reason);
    // It runs on with the defaults.
    EXPECT_EQ(f.edTimer->text(), "10");
    EXPECT_FALSE(f.cbProxy->isChecked());
    EXPECT_EQ(f.clbItems->count(), 0);
    dialogs->inputAnswers.push_back(QString("New"));
    f.btnAdd->click();
    form.reset();
    EXPECT_EQ(dialogs->messages.size(), 1u);
    if (!bytes_.isNull()) {
        QFile file(QString::fromStdString(path_));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll() == bytes_);
    }
}

INSTANTIATE_TEST_SUITE_P(EachWay, UnusableStore,
    ::testing::Values(Spoilt { "another program's database", "A database of another program" },
        Spoilt { "not a database", "Not a settings file" }, Spoilt { "read-only", "Read-only file" },
        Spoilt { "owned by another user", "Owned by another user" }, Spoilt { "cannot be created", "Not a directory" }),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.name))
            if (std::isalnum(static_cast<unsigned char>(c)))
                name += c;
        return name;
    });

} // namespace
