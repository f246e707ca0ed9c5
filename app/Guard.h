// Runs a handler that the event loop calls: an error it does not handle goes to the general
// error report, so that nothing thrown ever crosses the event loop.
#pragma once

#include "platform/core/Exceptions.h"
#include "platform/desktop/Application.h"

#include <exception>

namespace app {

template <class Handler> void Guard(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (const std::exception& e) {
        platform::Application::instance().HandleException(e);
    } catch (...) {
        platform::Application::instance().HandleException(platform::Exception("Unknown error"));
    }
}

// A slot for connect() that runs `handler` guarded, whatever arguments the signal carries.
template <class Handler> auto Guarded(Handler handler)
{
    return [handler](auto&&...) { Guard(handler); };
}

} // namespace app
