#include "app/NewMailNotice.h"

#include "platform/desktop/BusNotifier.h"

#include <gtest/gtest.h>

using app::NewMailText;

TEST(NewMailText, StatusLineThenOneLinePerAccountWithMail)
{
    EXPECT_EQ(NewMailText("5 total number of new message(s), all accounts", { { "Work", 3 }, { "Home", 2 } }),
        "5 total number of new message(s), all accounts\nWork: 3\nHome: 2");
}

TEST(NewMailText, AccountsWithoutMailAreLeftOut)
{
    EXPECT_EQ(NewMailText("2 total", { { "Empty", 0 }, { "Full", 2 }, { "Failed", -1 } }), "2 total\nFull: 2");
}

TEST(NewMailText, NamesAreTakenAsTheyAreEvenWithPlaceholders)
{
    // A name that looks like a format placeholder must not pull the count into itself.
    EXPECT_EQ(NewMailText("3 total", { { "50%2 off", 3 } }), "3 total\n50%2 off: 3");
    EXPECT_EQ(NewMailText("1 total", { { "%1", 1 } }), "1 total\n%1: 1");
}

TEST(BodyMarkup, MarkupCharactersAreEscapedAndTheRestKept)
{
    EXPECT_EQ(platform::EscapeBodyMarkup("Tom & Jerry <b>\"x\"</b>: 3"), "Tom &amp; Jerry &lt;b&gt;\"x\"&lt;/b&gt;: 3");
    EXPECT_EQ(platform::EscapeBodyMarkup("plain"), "plain");
}
