// A main window on the offscreen platform with scripted dialogs, a recording notification area and
// notifier, and a store file of its own; the window can be closed and opened again on the same store.
#pragma once

#include "app/frmMain.h"
#include "platform/desktop/Application.h"
#include "tests/support/RecordingNotifier.h"
#include "tests/support/RecordingNotifyArea.h"
#include "tests/support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace testing_support {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        if (const char* old = std::getenv("QUORVEL_REGISTRY"))
            previousStore_ = old;
        setenv("QUORVEL_REGISTRY", (folder_.path() + "/registry.sqlite3").toLocal8Bit().constData(), 1);
        platform::Application::instance().SetTitle("quorvel");
        platform::Application::instance().ResetTerminated();
    }

    void TearDown() override
    {
        form.reset();
        platform::Application::instance().ResetTerminated();
        if (previousStore_)
            setenv("QUORVEL_REGISTRY", previousStore_->c_str(), 1);
        else
            unsetenv("QUORVEL_REGISTRY");
    }

    app::TfrmQuorvel& Open()
    {
        form = std::make_unique<app::TfrmQuorvel>();
        return *form;
    }

    // Destroys the window, which saves, and opens a new one on the same store.
    app::TfrmQuorvel& Reopen()
    {
        form.reset();
        platform::Application::instance().ResetTerminated();
        return Open();
    }

    QTemporaryDir folder_;
    std::optional<std::string> previousStore_;
    ScopedNotifyArea area;
    ScopedNotifier notifier;
    ScopedDialogs dialogs;
    std::unique_ptr<app::TfrmQuorvel> form;
};

} // namespace testing_support
