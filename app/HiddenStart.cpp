// The window is shown minimised rather than not at all, so that the desktop knows it and the
// icon's double click restores it as after the user's own minimise.
#include "app/HiddenStart.h"

#include "app/Guard.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/NotifyIcon.h"

#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace app {

void StartHidden(TfrmQuorvel& form)
{
    auto& application = platform::Application::instance();
    if (form.trayIcon->Enabled() && platform::NotifyAreaAvailable()) {
        // Asked before the window is mapped, so it never shows in the task bar even for a moment.
        form.winId();
        application.HideTaskBarEntry();
    }
    form.showMinimized();
    QPointer<TfrmQuorvel> self(&form);
    QTimer::singleShot(0, &form, [self] {
        if (self)
            Guard([&] { self->btnCheckAllClick(self->btnCheckAll); });
    });
}

} // namespace app
