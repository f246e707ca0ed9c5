// Exceptions of the socket layer.
#pragma once

#include "platform/core/Exceptions.h"

namespace net {

class ESockError : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// A wait that ended because the operation was cancelled.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

} // namespace net
