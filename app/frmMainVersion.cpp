#include "app/frmMain.h"

namespace app {

void TfrmQuorvel::lblHomePageClick(QObject*) { }

} // namespace app
