// The application object: title, current hint, general error report and the dialogs it uses.
#pragma once

#include "platform/Dialogs.h"

#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace platform {

class Application {
public:
    static Application& instance();

    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

    // The long hint of the control under the pointer; OnHint fires whenever it changes.
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    std::function<void()> OnHint;

    // Gives `widget` a hint; a widget without one shows the hint of its nearest parent that has one.
    static void SetWidgetHint(QWidget* widget, const QString& hint);
    static QString WidgetHint(const QWidget* widget);
    // Starts following the pointer over the program's widgets to keep Hint() current.
    void TrackHints();

    // The general error report: a message box captioned with the title, the message with a
    // full stop added when its last character sorts after ".". Never throws.
    void ShowException(const std::string& message) noexcept;
    void HandleException(const std::exception& error) noexcept;

    Dialogs& dialogs() { return *dialogs_; }
    // Tests install scripted dialogs here; the previous ones are returned.
    std::unique_ptr<Dialogs> SetDialogs(std::unique_ptr<Dialogs> dialogs);

    void ProcessMessages();

private:
    Application();

    QString title_;
    QString hint_;
    std::unique_ptr<Dialogs> dialogs_;
    bool tracking_ = false;
};

// The error text of the general error report.
std::string ErrorReportText(const std::string& message);

} // namespace platform
