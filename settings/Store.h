// Everything the main window needs from the store, in one include.
#pragma once

#include "settings/Account.h"
#include "settings/AccountStore.h"
#include "settings/ConfigFile.h"
#include "settings/SettingsStore.h"
