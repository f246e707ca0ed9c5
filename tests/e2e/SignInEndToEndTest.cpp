// Sign-in as a person does it: the program on its display, "Sign in..." pressed, a real browser
// (headless Chromium) on the authorization server's pages, the program's closing page, and then
// a check of the mailbox with the token.
#include "settings/AccountStore.h"
#include "settings/RegistryAccessor.h"
#include "tests/e2e/ProgramFixture.h"
#include "tests/fixtures/AuthServer.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/TestCertificates.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <filesystem>

using e2e::artifact;
using e2e::Quorvel;
using testing_support::AuthServer;
using testing_support::Dovecot;
using testing_support::PollUntil;

namespace {

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr const char* kMailbox = "anna@example.org";

// The "Sign in...", found on the window's picture: in the account panel (the upper right part
// of the window), the box drawn in the style's frame grey whose face is the push button's light
// gradient rather than a text field's white, with dark (enabled) text in it. Its centre, or
// nothing while the picture shows no such button.
std::optional<QPoint> EnabledSignInButton(const QImage& window)
{
    const QImage image = window.convertToFormat(QImage::Format_RGB32);
    const QRgb frame = qRgb(0xAB, 0xAB, 0xAB);
    const auto grey = [&](int x, int y) {
        const QRgb p = image.pixel(x, y);
        return qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) ? qRed(p) : -1;
    };
    for (int y = image.height() / 8; y < image.height() * 3 / 5; ++y) {
        int run = 0;
        for (int x = image.width() / 2; x < image.width(); ++x) {
            run = image.pixel(x, y) == frame ? run + 1 : 0;
            const bool runEnds = run > 0 && (x + 1 == image.width() || image.pixel(x + 1, y) != frame);
            if (!runEnds || run < 40 || run > 150)
                continue;
            const int centre = x - run / 2;
            int bottom = y + 2;
            while (bottom < y + 40 && bottom < image.height() && image.pixel(centre, bottom) != frame)
                ++bottom;
            const int face = grey(centre, y + 3);
            if (bottom >= y + 40 || face < 230 || face > 253)
                continue;
            int dark = 0;
            for (int by = y + 1; by < bottom; ++by)
                for (int bx = x - run + 2; bx < x; ++bx)
                    dark += grey(bx, by) >= 0 && grey(bx, by) < 100;
            if (dark >= 20)
                return QPoint(centre, (y + bottom) / 2);
        }
    }
    return std::nullopt;
}

} // namespace

TEST_F(Quorvel, SignsInThroughARealBrowserAndThenCountsTheMailbox)
{
    if (!std::filesystem::exists(kChromium))
        GTEST_SKIP() << kChromium << " is not installed (scripts/setup-test-servers installs it)";
    QElapsedTimer clock;
    clock.start();
    AuthServer auth;
    Dovecot dovecot(Dovecot::Options { auth.introspectionUrl() });
    dovecot.AddUser(kMailbox, "an app password", 3, 2);

    // The account holds no password; its host is the loopback Dovecot, signed in at the loopback
    // authorization server as a user brings a registration of their own.
    setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
    settings::TAccount account;
    account.Name = "Anna";
    account.Host = "imaps://127.0.0.1:" + std::to_string(dovecot.imapsPort());
    account.UserName = kMailbox;
    account.LastChecked = "N/A";
    account.Status = "N/A";
    ASSERT_TRUE(settings::SaveAccount(account));
    {
        settings::RegistryAccessor reg;
        ASSERT_TRUE(reg.OpenKey("\\software\\Brask\\Quorvel\\sign-in\\Local", true));
        reg.WriteString("client id", auth.options().clientId);
        reg.WriteString("authorize", auth.url("/authorize"));
        reg.WriteString("token", auth.url("/token"));
        reg.WriteString("scope", "mail offline_access");
        reg.WriteString("hosts", "127.0.0.1");
        reg.CommitKey();
    }
    unsetenv("QUORVEL_REGISTRY");

    const QString page = home.path() + "/closing-page.html";
    const QString shots = artifact("sign-in");
    QDir(shots).removeRecursively();
    QDir().mkpath(shots);
    ASSERT_NO_FATAL_FAILURE(Launch({},
        { "BROWSER=" QUORVEL_TOOLS_DIR "/authserver/chromium-browser", "QUORVEL_TEST_PAGE=" + page,
            "QUORVEL_TEST_SCREENSHOTS=" + shots,
            "SSL_CERT_FILE=" + QString::fromStdString(testing_support::TestCertificates::Shared().authorityFile),
            // Nothing of the program's own reaches past loopback.
            "QUORVEL_LOGIN_HOST=127.0.0.1:9", "QUORVEL_HOMEPAGE=http://127.0.0.1:9/quorvel/" }));

    // The only account is selected at start; its host is a sign-in provider's, so the button is
    // enabled.
    const QString picture = home.path() + "/window.png";
    std::optional<QPoint> button;
    ASSERT_TRUE(PollUntil([&] {
        button = session->Screenshot(window, picture) ? EnabledSignInButton(QImage(picture)) : std::nullopt;
        return button.has_value();
    })) << "no enabled \"Sign in...\" button on the window";
    session->Screenshot(window, artifact("sign-in-button.png"));
    const auto frame = session->Geometry(window);
    ASSERT_TRUE(frame);
    ASSERT_TRUE(
        Xdotool({ "mousemove", QString::number(frame->x() + button->x()), QString::number(frame->y() + button->y()) }));
    ASSERT_TRUE(Xdotool({ "click", "1" }));

    QFile closing(page);
    ASSERT_TRUE(PollUntil([&] { return closing.exists() && closing.size() > 0; }, 30000))
        << "the browser showed no page of the program's; see " << shots.toStdString() << "\n"
        << auth.log();
    ASSERT_TRUE(closing.open(QIODevice::ReadOnly));
    const QByteArray html = closing.readAll();
    EXPECT_TRUE(html.contains("Quorvel is signed in to anna@example.org. You can close this tab.")) << html.data();

    // The check counts the mailbox's unseen messages with the token, the password field empty.
    ASSERT_TRUE(Xdotool({ "windowactivate", "--sync", window }));
    ASSERT_TRUE(Xdotool({ "key", "--clearmodifiers", "alt+a" })); // "Check &All"
    std::string status;
    EXPECT_TRUE(PollUntil(
        [&] {
            setenv("QUORVEL_REGISTRY", StorePath().toLocal8Bit().constData(), 1);
            status = settings::LoadAccount("Anna").Status.value_or("");
            unsetenv("QUORVEL_REGISTRY");
            return status == "3";
        },
        15000))
        << "status: " << status << "\n"
        << dovecot.log();
    // One code exchanged for tokens, none refreshed: the check used the token it got.
    EXPECT_NE(auth.log().find("POST /token authorization_code"), std::string::npos) << auth.log();
    EXPECT_EQ(auth.log().find("POST /token refresh_token"), std::string::npos) << auth.log();
    session->Screenshot(window, artifact("signed-in-and-checked.png"));
    std::printf("sign-in end to end: %lld ms\n", static_cast<long long>(clock.elapsed()));
}
