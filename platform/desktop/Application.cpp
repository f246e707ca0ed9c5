#include "platform/desktop/Application.h"

#include "platform/core/ErrorReport.h"
#include "platform/core/MessageLoop.h"
#include "platform/desktop/TaskBar.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace platform {
namespace {

const char* const kHintProperty = "quorvelHint";

// Follows the pointer: entering a widget makes its hint (or its nearest parent's) current;
// leaving a top-level window clears it.
class HintTracker : public QObject {
public:
    // Owned by the application object of Qt, which removes the filter when it goes.
    HintTracker(Application& app, QObject* owner)
        : QObject(owner)
        , app_(app)
    { }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Enter) {
            app_.SetHint(Application::WidgetHint(widget));
        } else if (event->type() == QEvent::Leave) {
            // Leaving a child enters its parent, which Qt reports as an Enter of the parent only
            // when it comes from outside; so leaving a child re-reads the parent's hint.
            if (widget->isWindow())
                app_.SetHint(QString());
            else
                app_.SetHint(Application::WidgetHint(widget->parentWidget()));
        }
        return false;
    }

private:
    Application& app_;
};

// Turns the main form's state changes into the application's minimise and restore events. The
// events run after the change has been handled, never inside Qt's own state bookkeeping.
class StateWatcher : public QObject {
public:
    StateWatcher(Application& app, QWidget* form)
        : QObject(form)
        , app_(app)
        , form_(form)
    { }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == form_ && event->type() == QEvent::WindowStateChange) {
            const auto* change = static_cast<QWindowStateChangeEvent*>(event);
            const bool was = change->oldState() & Qt::WindowMinimized;
            const bool is = form_->windowState() & Qt::WindowMinimized;
            if (was != is)
                QMetaObject::invokeMethod(
                    this, [this, is] { fire(is); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void fire(bool minimized)
    {
        try {
            const TNotifyEvent& handler = minimized ? app_.OnMinimize : app_.OnRestore;
            if (handler)
                handler(nullptr);
        } catch (const std::exception& e) {
            app_.HandleException(e);
        } catch (...) {
            app_.ShowException("Unknown error");
        }
    }

    Application& app_;
    QPointer<QWidget> form_;
};

} // namespace

Application::Application()
    : dialogs_(std::make_unique<QtDialogs>())
{
    // Errors that reach the event loop below the window (message handlers, timers) end here.
    SetErrorReport([this](const std::exception& error) { HandleException(error); });
}

Application::~Application()
{
    SetErrorReport(nullptr);
}

Application& Application::instance()
{
    static Application app;
    return app;
}

void Application::SetHint(const QString& hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    if (OnHint)
        OnHint();
}

void Application::SetWidgetHint(QWidget* widget, const QString& hint)
{
    widget->setProperty(kHintProperty, hint);
}

QString Application::WidgetHint(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QString hint = w->property(kHintProperty).toString();
        if (!hint.isEmpty())
            return hint;
        if (w->isWindow())
            break;
    }
    return {};
}

void Application::TrackHints()
{
    if (tracking_ || !qApp)
        return;
    tracking_ = true;
    qApp->installEventFilter(new HintTracker(*this, qApp));
}

std::string ErrorReportText(const std::string& message)
{
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

void Application::ShowException(const std::string& message) noexcept
{
    try {
        dialogs_->MessageBox(title_, QString::fromUtf8(ErrorReportText(message)), Dialogs::Icon::Error);
    } catch (...) {
        // The report itself must never bring the program down.
    }
}

void Application::HandleException(const std::exception& error) noexcept
{
    ShowException(error.what());
}

std::unique_ptr<Dialogs> Application::SetDialogs(std::unique_ptr<Dialogs> dialogs)
{
    std::swap(dialogs_, dialogs);
    return dialogs;
}

void Application::ProcessMessages()
{
    platform::ProcessMessages();
}

void Application::SetMainForm(QWidget* form)
{
    if (form == mainForm_)
        return;
    delete stateWatcher_.data();
    mainForm_ = form;
    if (form) {
        auto* watcher = new StateWatcher(*this, form);
        form->installEventFilter(watcher);
        stateWatcher_ = watcher;
    }
}

bool Application::Minimized() const
{
    return mainForm_ && (mainForm_->windowState() & Qt::WindowMinimized);
}

void Application::Restore()
{
    if (!Minimized())
        return;
    mainForm_->setWindowState(mainForm_->windowState() & ~Qt::WindowMinimized);
    mainForm_->show();
}

void Application::BringToFront()
{
    if (!mainForm_)
        return;
    mainForm_->show();
    mainForm_->raise();
    mainForm_->activateWindow();
}

void Application::HideTaskBarEntry()
{
    SetSkipTaskBar(mainForm_, true);
}

bool Application::TaskBarEntryHidden() const
{
    return SkipsTaskBar(mainForm_);
}

void Application::Terminate()
{
    terminated_ = true;
    if (qApp)
        QCoreApplication::quit();
}

} // namespace platform
