// Where an error that reaches the event loop goes: the application object installs its general
// error report here, so that code below the window can report without knowing of any window.
#pragma once

#include <exception>
#include <functional>

namespace platform {

using ErrorReport = std::function<void(const std::exception&)>;

// Installs the report and returns the one it replaces. Until one is installed, errors are logged.
ErrorReport SetErrorReport(ErrorReport report);

// Hands the error to the installed report. Never throws.
void ReportError(const std::exception& error) noexcept;

} // namespace platform
