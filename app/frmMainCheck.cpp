#include "app/InterpretPage.h"
#include "app/frmMain.h"
#include "platform/StrToInt.h"

#include <QLineEdit>

namespace app {

struct TfrmQuorvel::TCheckState { };

void TfrmQuorvel::TCheckStateDeleter::operator()(TCheckState* state) const
{
    delete state;
}

int TfrmQuorvel::CheckAccount(int)
{
    return 0;
}

int TfrmQuorvel::InterpretPage(const QString& Page, const QString& FailText, const QString& SearchText, int Offset)
{
    return app::InterpretPage(Page.toStdString(), FailText.toStdString(), SearchText.toStdString(), Offset);
}

void TfrmQuorvel::btnCheckAllClick(QObject*) { }

void TfrmQuorvel::timerTimer(QObject*) { }

void TfrmQuorvel::edTimerChange(QObject*)
{
    const int minutes = platform::StrToInt(edTimer->text().toStdString());
    if (minutes > 0)
        timer->SetInterval(static_cast<std::uint32_t>(minutes) * 60000U);
}

} // namespace app
