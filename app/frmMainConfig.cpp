#include "app/frmMain.h"

namespace app {

void TfrmQuorvel::mnuRegistryDeleteClick(QObject*) { }

void TfrmQuorvel::mnuRegistrySaveClick(QObject*) { }

} // namespace app
