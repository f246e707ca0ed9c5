#include "platform/Application.h"

#include "platform/MessageLoop.h"

#include <QApplication>
#include <QEvent>
#include <QVariant>
#include <QWidget>

namespace platform {
namespace {

const char* const kHintProperty = "quorvelHint";

// Follows the pointer: entering a widget makes its hint (or its nearest parent's) current;
// leaving a top-level window clears it.
class HintTracker : public QObject {
public:
    explicit HintTracker(Application& app) : app_(app) {}

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

} // namespace

Application::Application() : dialogs_(std::make_unique<QtDialogs>()) {}

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
    qApp->installEventFilter(new HintTracker(*this));
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

} // namespace platform
