#include "platform/core/Exceptions.h"
#include "platform/core/MessageTarget.h"
#include "platform/desktop/Application.h"
#include "tests/support/ScriptedDialogs.h"

#include <QWidget>

#include <gtest/gtest.h>

using namespace platform;

TEST(ErrorReport, AddsAFullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(ErrorReportText("Connection Failed"), "Connection Failed.");
    EXPECT_EQ(ErrorReportText("10061:Connection refused"), "10061:Connection refused.");
    EXPECT_EQ(ErrorReportText("Unknown Error No. 4"), "Unknown Error No. 4.");
    EXPECT_EQ(ErrorReportText("done."), "done.");
    EXPECT_EQ(ErrorReportText("what!"), "what!");
    EXPECT_EQ(ErrorReportText("(x)"), "(x)");
    EXPECT_EQ(ErrorReportText("ends in a blank "), "ends in a blank ");
    EXPECT_EQ(ErrorReportText("a-"), "a-");
    EXPECT_EQ(ErrorReportText("path/"), "path/.");
    EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ErrorReport, IsAMessageBoxCaptionedWithTheTitle)
{
    testing_support::ScopedDialogs dialogs;
    Application::instance().SetTitle("quorvel");
    Application::instance().HandleException(Exception("Host Lookup Failed"));
    ASSERT_EQ(dialogs->messages.size(), 1U);
    EXPECT_EQ(dialogs->messages[0].caption, "quorvel");
    EXPECT_EQ(dialogs->messages[0].text, "Host Lookup Failed.");
    EXPECT_EQ(dialogs->messages[0].icon, Dialogs::Icon::Error);
}

TEST(ErrorReport, CatchesWhatAMessageHandlerThrows)
{
    testing_support::ScopedDialogs dialogs;
    MessageTarget target([](unsigned, WPARAM, LPARAM) -> LRESULT { throw Exception("boom"); });
    PostMessage(target.handle(), WM_USER, 0, 0);
    Application::instance().ProcessMessages();
    ASSERT_EQ(dialogs->messages.size(), 1U);
    EXPECT_EQ(dialogs->messages[0].text, "boom.");
}

TEST(Hints, ChangeFiresTheHandlerOnce)
{
    auto& app = Application::instance();
    int calls = 0;
    app.OnHint = [&] { ++calls; };
    app.SetHint("Add new account");
    app.SetHint("Add new account");
    app.SetHint("");
    app.OnHint = nullptr;
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(app.Hint(), "");
}

TEST(Hints, AWidgetWithoutHintShowsItsNearestParentsHint)
{
    QWidget window;
    auto* panel = new QWidget(&window);
    auto* inner = new QWidget(panel);
    Application::SetWidgetHint(panel, "panel hint");
    EXPECT_EQ(Application::WidgetHint(inner), "panel hint");
    Application::SetWidgetHint(inner, "own hint");
    EXPECT_EQ(Application::WidgetHint(inner), "own hint");
    EXPECT_EQ(Application::WidgetHint(&window), "");
}
