// The application object: title, current hint, general error report and the dialogs it uses.
#pragma once

#include "platform/core/Events.h"
#include "platform/desktop/Dialogs.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class Application {
public:
    static Application& instance();
    ~Application();

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

    // The main form: the window whose minimising and restoring are the application's own.
    void SetMainForm(QWidget* form);
    QWidget* MainForm() const { return mainForm_.data(); }

    // Fired when the main form is minimised, and when it comes back from being minimised. The
    // application object is not a QObject, so the sender is null.
    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;

    bool Minimized() const;
    // Brings the main form back from being minimised (nothing when it is not).
    void Restore();
    void BringToFront();
    // Leaves the main form out of the task bar; true from then on.
    void HideTaskBarEntry();
    bool TaskBarEntryHidden() const;

    // Ends the main loop once the handler running now returns; waits can test Terminated().
    void Terminate();
    bool Terminated() const { return terminated_; }
    // For tests that go on after a Terminate.
    void ResetTerminated() { terminated_ = false; }

private:
    Application();

    QString title_;
    QString hint_;
    std::unique_ptr<Dialogs> dialogs_;
    bool tracking_ = false;
    QPointer<QWidget> mainForm_;
    QPointer<QObject> stateWatcher_;
    bool terminated_ = false;
};

// The error text of the general error report.
std::string ErrorReportText(const std::string& message);

} // namespace platform
