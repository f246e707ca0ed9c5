// The new-version check behind the home-page link.
#include "app/CheckState.h"
#include "app/CheckTexts.h"
#include "app/Endpoints.h"
#include "app/frmMain.h"
#include "platform/desktop/Application.h"

namespace app {

void TfrmQuorvel::lblHomePageClick(QObject*)
{
    StatusBar->SetSimpleText("Checking for newer versions");
    StatusBar->repaint();
    WindowRequest request(*this);
    request.ApplyProxy();
    // Without a limit only the system's own connect retries would end a lookup or connect
    // that never answers; half a minute each is plenty for one small document.
    request.http().TimeOut = 30000;
    try {
        request.http().Get(VersionDocument());
    } catch (...) {
        // Quitting cancels the request: that is no error to tell the user about.
        if (platform::Application::instance().Terminated())
            return;
        throw;
    }
    StatusBar->SetSimpleText(VersionReport(QString::fromStdString(request.http().Body), kVersion));
}

} // namespace app
