// The real program on a desktop whose tray is a StatusNotifierItem host on the session bus (as
// KDE Plasma, XFCE and GNOME's AppIndicator extension have it), played by a minimal watcher and
// host on a private bus. There is no X tray host on the display.
#include "app/icons/CountBadge.h"
#include "app/icons/Painting.h"
#include "settings/NotifySetting.h"
#include "tests/check/MailServiceProcess.h"
#include "tests/e2e/ProgramFixture.h"
#include "tests/fixtures/desktop/SessionBus.h"
#include "tests/fixtures/desktop/StatusNotifierHost.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QImage>
#include <QtEndian>

using e2e::artifact;
using e2e::kStartUpMs;
using e2e::Quorvel;
using testing_support::MailServiceProcess;
using testing_support::PollUntil;
using testing_support::SessionBus;
using testing_support::StatusNotifierHost;
using testing_support::X11Session;

namespace {

class StatusNotifierDesktop : public Quorvel {
protected:
    void LaunchOnBus(const QStringList& environment = {})
    {
        ASSERT_TRUE(bus.Ready()) << bus.Error().toStdString();
        host = std::make_unique<StatusNotifierHost>(bus.Address());
        ASSERT_TRUE(host->Ready());
        X11Session::Options options;
        options.trayHost = false;
        ASSERT_NO_FATAL_FAILURE(Launch(options, QStringList { bus.Environment() } + environment));
        ASSERT_TRUE(PollUntil([&] { return !host->Items().empty(); }, kStartUpMs)) << "no item registered";
        item = host->Items().front();
    }

    void TearDown() override
    {
        Quorvel::TearDown();
        session.reset(); // the program goes before its bus
        host.reset();
    }

    QString ToolTipTitle() const
    {
        const auto tip = host->ItemToolTip(item);
        return tip ? tip->title : QString("<no tooltip>");
    }

    SessionBus bus;
    std::unique_ptr<StatusNotifierHost> host;
    QString item;
};

// The item's picture as a host draws it, from the 32-bit ARGB pixels in network byte order.
QImage pictureOf(const StatusNotifierHost::Pixmap& pixmap)
{
    QImage image(pixmap.width, pixmap.height, QImage::Format_ARGB32);
    if (pixmap.argb.size() != pixmap.width * pixmap.height * 4)
        return {};
    const auto* words = reinterpret_cast<const quint32*>(pixmap.argb.constData());
    for (int y = 0; y < pixmap.height; ++y)
        for (int x = 0; x < pixmap.width; ++x)
            image.setPixel(x, y, qFromBigEndian(words[y * pixmap.width + x]));
    return image;
}

} // namespace

TEST_F(StatusNotifierDesktop, TheIconRegistersAsAnItemWithTheProgramsPictureAndTooltip)
{
    ASSERT_NO_FATAL_FAILURE(LaunchOnBus());
    QDBusConnection probe = bus.Connect("probe");
    EXPECT_EQ(probe.interface()->servicePid(item).value(), static_cast<uint>(program->processId()))
        << "the item is not the program's";
    EXPECT_EQ(host->Property(item, "Status").toString(), "Active");
    EXPECT_EQ(ToolTipTitle(), "Click here for checking mail.");

    const auto pixmaps = host->IconPixmaps(item);
    ASSERT_FALSE(pixmaps.empty()) << "the item has no picture";
    const auto largest = std::max_element(
        pixmaps.begin(), pixmaps.end(), [](const auto& a, const auto& b) { return a.width < b.width; });
    const QImage shown = pictureOf(*largest);
    ASSERT_FALSE(shown.isNull());
    EXPECT_TRUE(shown.save(artifact("status-notifier-item-picture.png")));
    const QImage program = pictures::PaintProgram(largest->width).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown, program) << "the item does not show the program's picture";

    // Without a tray embedded in the X display, a minimised window still leaves the task bar:
    // the item is the way back.
    ASSERT_TRUE(Xdotool({ "windowminimize", window }));
    EXPECT_TRUE(PollUntil([&] { return Iconic() && SkipsTaskBar(); })) << "not minimised to the tray";
}

TEST_F(StatusNotifierDesktop, ActivatingTheItemRestoresTheMinimisedWindowAndBringsItToTheFront)
{
    ASSERT_NO_FATAL_FAILURE(LaunchOnBus());
    ASSERT_TRUE(Xdotool({ "windowminimize", window }));
    ASSERT_TRUE(PollUntil([&] { return Iconic() && !session->Viewable(window); })) << "not minimised";

    host->Activate(item, 10, 10); // the host's left click
    ASSERT_TRUE(PollUntil([&] { return session->Viewable(window) && !Iconic(); })) << "not restored";
    EXPECT_TRUE(PollUntil([&] { return session->ActiveWindow() == window; })) << "not brought to the front";
    session->Screenshot("root", artifact("status-notifier-activated.png"));
}

TEST_F(StatusNotifierDesktop, TheMenusEntriesRunTheirActionsAndTheProgramTakesTheItemAwayAtTheEnd)
{
    MailServiceProcess service({ "--account", "u3:pw:3" });
    ASSERT_GT(service.port(), 0);
    ASSERT_TRUE(StoreAccount("Inbox", "u3"));
    ASSERT_NO_FATAL_FAILURE(LaunchOnBus({ "QUORVEL_LOGIN_HOST=" + QString::fromStdString(service.address()) }));

    const auto entries = host->Menu(item);
    QStringList labels;
    int checkAll = -1, close = -1;
    for (const auto& e : entries) {
        if (!e.visible || e.type == "separator")
            continue;
        labels << e.label;
        if (e.label == "_Check All")
            checkAll = e.id;
        if (e.label == "C_lose")
            close = e.id;
    }
    ASSERT_EQ(labels.join(" | ").toStdString(), "_Check All | _Show Quorvel | _Notices | Start at lo_gin | C_lose");

    // "Check All" runs a check; the tooltip then carries the run's report. No notification
    // service is on this bus: the run ends as ever, and nothing waits for one.
    host->ClickMenuEntry(item, checkAll);
    EXPECT_TRUE(
        PollUntil([&] { return ToolTipTitle() == "3 total number of new message(s), all accounts"; }, kStartUpMs))
        << ToolTipTitle().toStdString();
    // The picture carries the count at every size the host may pick.
    const QImage face = QImage(QString(QUORVEL_PICTURE_DIR) + "/face02.ico");
    ASSERT_FALSE(face.isNull());
    for (int size : { 16, 32 }) {
        bool found = false;
        EXPECT_TRUE(PollUntil([&] {
            for (const auto& pixmap : host->IconPixmaps(item))
                if (pixmap.width == size && pictureOf(pixmap) == pictures::WithCountBadge(face, size, 3))
                    found = true;
            return found;
        })) << "no picture with the count at "
            << size << " pixels";
    }
    for (const auto& pixmap : host->IconPixmaps(item))
        if (pixmap.width == 32)
            pictureOf(pixmap).scaled(256, 256).save(artifact("status-notifier-badge.png"));

    host->ClickMenuEntry(item, close);
    ASSERT_TRUE(program->waitForFinished(30000)) << "still running after Close";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_TRUE(PollUntil([&] { return host->Gone().contains(item); })) << "the item stayed";
    EXPECT_TRUE(host->Items().isEmpty());
}

TEST_F(StatusNotifierDesktop, TheMenusSwitchesShowTheirStateAndChangeTheStoreAndTheAutostartEntry)
{
    ASSERT_NO_FATAL_FAILURE(LaunchOnBus());
    auto entry = [&](const QString& label) {
        for (const auto& e : host->Menu(item))
            if (e.label == label)
                return e;
        return StatusNotifierHost::MenuEntry {};
    };
    EXPECT_EQ(entry("_Notices").toggleType, "checkmark");
    EXPECT_EQ(entry("_Notices").toggleState, 1);
    EXPECT_EQ(entry("Start at lo_gin").toggleState, 0);

    const QString autostart = home.path() + "/autostart/quorvel.desktop";
    host->ClickMenuEntry(item, entry("Start at lo_gin").id);
    EXPECT_TRUE(PollUntil([&] { return QFile::exists(autostart); })) << "no autostart entry";
    EXPECT_EQ(entry("Start at lo_gin").toggleState, 1);
    host->ClickMenuEntry(item, entry("_Notices").id);
    EXPECT_TRUE(PollUntil([&] { return entry("_Notices").toggleState == 0; }));

    // "Show Quorvel" brings the minimised window back.
    ASSERT_TRUE(Xdotool({ "windowminimize", window }));
    ASSERT_TRUE(PollUntil([&] { return Iconic(); })) << "not minimised";
    host->ClickMenuEntry(item, entry("_Show Quorvel").id);
    EXPECT_TRUE(PollUntil([&] { return session->Viewable(window) && !Iconic(); })) << "not restored";

    host->ClickMenuEntry(item, entry("C_lose").id);
    ASSERT_TRUE(program->waitForFinished(30000));
    setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
    EXPECT_FALSE(settings::LoadNotify()) << "the notices switch was not stored";
    unsetenv("QUORVEL_REGISTRY");
    QFile file(autostart);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("\nExec=" QUORVEL_BINARY " --hidden\n")) << text.toStdString();
}
