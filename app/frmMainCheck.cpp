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

int TfrmQuorvel::InterpretPage(const QString&, const QString&, const QString&, int)
{
    return -2;
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
