// The program's command line, read before any window or display exists.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

using app::CommandLine;
using app::ReadCommandLine;

TEST(CommandLine, EachLineGivesItsActionTheHiddenFlagAndItsReason)
{
    using A = CommandLine::Action;
    const struct {
        QStringList arguments;
        A action;
        bool hidden;
        const char* error;
    } rows[] = {
        { {}, A::Run, false, "" },
        { { "--hidden" }, A::Run, true, "" },
        { { "--help" }, A::Help, false, "" },
        { { "-h" }, A::Help, false, "" },
        { { "--version" }, A::Version, false, "" },
        { { "-v" }, A::Version, false, "" },
        // Help wins over an option it would refuse, wherever it stands.
        { { "--bogus", "--help" }, A::Help, false, "" },
        { { "--version", "--help" }, A::Version, false, "" },
        { { "--bogus" }, A::Refuse, false, "unknown option '--bogus'" },
        { { "-hidden" }, A::Refuse, false, "unknown option '-hidden'" },
        { { "--hidden=1" }, A::Refuse, false, "unknown option '--hidden=1'" },
        { { "mail.example.org" }, A::Refuse, false, "unexpected argument 'mail.example.org'" },
        // Qt's own options, with their values, are let through to the application object.
        { { "-platform", "offscreen", "--hidden" }, A::Run, true, "" },
        { { "--platform=wayland" }, A::Run, false, "" },
        { { "-style", "fusion", "-reverse" }, A::Run, false, "" },
        { { "-display" }, A::Refuse, false, "option '-display' needs a value" },
        { { "-reverse=1" }, A::Refuse, false, "unknown option '-reverse=1'" },
    };
    for (const auto& row : rows) {
        const CommandLine line = ReadCommandLine(row.arguments);
        const std::string what = row.arguments.join(' ').toStdString();
        EXPECT_EQ(line.action, row.action) << what;
        EXPECT_EQ(line.hidden, row.hidden) << what;
        EXPECT_EQ(line.error.toStdString(), row.error) << what;
    }
}
