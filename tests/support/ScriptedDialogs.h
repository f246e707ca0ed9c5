// Dialogs that answer from a script and record what they were asked, for tests.
#pragma once

#include "platform/desktop/Application.h"
#include "platform/desktop/Dialogs.h"

#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace testing_support {

class ScriptedDialogs : public platform::Dialogs {
public:
    struct Shown {
        QString caption;
        QString text;
        Icon icon;
    };

    std::vector<Shown> messages;
    // Each InputQuery takes the next answer: a text means OK with that text, nullopt means Cancel.
    std::deque<std::optional<QString>> inputAnswers;
    std::vector<QString> inputPrompts;
    std::deque<QString> saveAnswers;

    void MessageBox(const QString& caption, const QString& text, Icon icon) override
    {
        messages.push_back({caption, text, icon});
    }

    bool InputQuery(const QString& caption, const QString& prompt, QString& value, int maxLength) override
    {
        inputPrompts.push_back(caption + "|" + prompt + "|" + value);
        if (inputAnswers.empty())
            return false;
        auto answer = inputAnswers.front();
        inputAnswers.pop_front();
        if (!answer)
            return false;
        value = answer->left(maxLength);
        return true;
    }

    QString SaveFileName(const QString&, const QString&, const QString&) override
    {
        if (saveAnswers.empty())
            return {};
        QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
};

// Installs scripted dialogs for the lifetime of the object and puts the previous ones back.
class ScopedDialogs {
public:
    ScopedDialogs()
    {
        auto d = std::make_unique<ScriptedDialogs>();
        dialogs_ = d.get();
        previous_ = platform::Application::instance().SetDialogs(std::move(d));
    }
    ~ScopedDialogs() { platform::Application::instance().SetDialogs(std::move(previous_)); }
    ScriptedDialogs* operator->() { return dialogs_; }
    ScriptedDialogs& operator*() { return *dialogs_; }

private:
    ScriptedDialogs* dialogs_;
    std::unique_ptr<platform::Dialogs> previous_;
};

} // namespace testing_support
