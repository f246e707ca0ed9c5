// Event types shared by components: handlers may be empty ("not assigned").
#pragma once

#include <functional>

class QObject;

namespace platform {

using TNotifyEvent = std::function<void(QObject* Sender)>;

} // namespace platform
