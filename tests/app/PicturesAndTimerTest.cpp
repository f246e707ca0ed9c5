#include "app/DateTimeText.h"
#include "app/Pictures.h"
#include "app/Timer.h"
#include "app/icons/Painting.h"
#include "platform/core/Exceptions.h"
#include "tests/fixtures/Wait.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Runs the body in `folder` as the current directory and goes back after.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const QString& folder)
        : previous_(QDir::currentPath())
    {
        QDir::setCurrent(folder);
    }
    ~ScopedCurrentDir() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

} // namespace

TEST(Pictures, TheCurrentDirectoryComesFirst)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ScopedCurrentDir inside(folder.path());
    const QString mine = QDir(folder.path()).filePath("face02.ico");
    EXPECT_NE(app::FindPicture("face02.ico"), mine);
    QFile file(mine);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    EXPECT_EQ(app::FindPicture("face02.ico"), mine);
}

TEST(Pictures, TheDesktopsDataFoldersAreSearchedTheUsersOwnFirst)
{
    QTemporaryDir current, home, first, second;
    ScopedCurrentDir inside(current.path());
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME"), oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_DIRS", ("relative/ignored:" + first.path() + ":" + second.path()).toLocal8Bit());
    auto put = [](const QTemporaryDir& base) {
        QDir(base.path()).mkpath("quorvel");
        QFile file(base.path() + "/quorvel/only-in-data-folders.ico");
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    };
    const QString inSecond = put(second);
    EXPECT_EQ(app::FindPicture("only-in-data-folders.ico"), inSecond);
    const QString inFirst = put(first);
    EXPECT_EQ(app::FindPicture("only-in-data-folders.ico"), inFirst);
    const QString inHome = put(home);
    EXPECT_EQ(app::FindPicture("only-in-data-folders.ico"), inHome);
    oldHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldHome);
    oldDirs.isNull() ? qunsetenv("XDG_DATA_DIRS") : qputenv("XDG_DATA_DIRS", oldDirs);
}

TEST(Pictures, AMissingFileIsNotFound)
{
    QTemporaryDir folder;
    ScopedCurrentDir inside(folder.path());
    EXPECT_EQ(app::FindPicture("no-such-picture.ico"), "");
}

TEST(Pictures, TheBuildWritesReadableIconFiles)
{
    for (const char* name : { "quorvel.ico", "about.ico", "aclock.ico", "face02.ico", "face04.ico" }) {
        QImageReader reader(QString(QUORVEL_ICON_DIR) + "/" + name);
        EXPECT_EQ(reader.format(), "ico") << name;
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << name << ": " << reader.errorString().toStdString();
        EXPECT_GE(image.width(), 32) << name;
        // Something is painted, and the corners of the round pictures stay see-through.
        EXPECT_GT(image.pixelColor(image.width() / 2, image.height() / 2).alpha(), 0) << name;
    }
    const QImage face = QImageReader(QString(QUORVEL_ICON_DIR) + "/face02.ico").read();
    EXPECT_EQ(face.pixelColor(0, 0).alpha(), 0);
}

TEST(Pictures, TheProgramsOwnPicturesAreNeverMissing)
{
    EXPECT_FALSE(app::ProgramIcon().isNull());
    EXPECT_EQ(app::AboutPicture().size(), QSize(65, 57));
    EXPECT_NE(pictures::PaintHappyFace(32), pictures::PaintSleepyFace(32));
}

TEST(DateTimeText, LongTimeHasSecondsAndNoTimeZone)
{
    const QString text = app::LongTimeText(QTime(13, 5, 9));
    EXPECT_TRUE(text.contains("05")) << text.toStdString();
    EXPECT_TRUE(text.contains("09")) << text.toStdString();
    EXPECT_FALSE(text.contains("UTC")) << text.toStdString();
    EXPECT_FALSE(app::ShortDateText(QDate(2026, 12, 9)).isEmpty());
    EXPECT_EQ(app::LongTimeText(QTime(13, 5, 9), QLocale(QLocale::English, QLocale::UnitedStates)), "1:05:09 PM");
    EXPECT_EQ(app::LongTimeText(QTime(13, 5, 9), QLocale::c()), "13:05:09");
}

TEST(DateTimeText, TimeZoneFieldsGoWithTheirBlanksAndBracketsAndQuotedTextStays)
{
    EXPECT_EQ(app::WithoutTimeZone("HH:mm:ss t"), "HH:mm:ss");
    EXPECT_EQ(app::WithoutTimeZone("h:mm:ss AP tttt"), "h:mm:ss AP");
    EXPECT_EQ(app::WithoutTimeZone("HH:mm:ss (t)"), "HH:mm:ss");
    EXPECT_EQ(app::WithoutTimeZone("t HH:mm:ss"), "HH:mm:ss");
    EXPECT_EQ(app::WithoutTimeZone("H 'h' mm 'et' ss t"), "H 'h' mm 'et' ss");
}

TEST(Timer, ZeroIntervalNeverFiresAndAPositiveOneDoes)
{
    app::TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
    };
    EXPECT_EQ(timer.Interval(), 0U);
    EXPECT_FALSE(timer.Running());
    testing_support::RunEventsFor(60);
    EXPECT_EQ(ticks, 0);
    timer.SetInterval(20);
    EXPECT_TRUE(timer.Running());
    EXPECT_TRUE(testing_support::WaitUntil([&] { return ticks >= 2; }, 3000));
    timer.SetInterval(0);
    EXPECT_FALSE(timer.Running());
    const int before = ticks;
    testing_support::RunEventsFor(80);
    EXPECT_EQ(ticks, before);
}

TEST(Timer, AnIntervalTheSystemRefusesRaises)
{
    app::TTimer timer(nullptr);
    EXPECT_THROW(timer.SetInterval(4000000000U), platform::Exception);
    EXPECT_FALSE(timer.Running());
}
