// The hook behind the general error report, and the log line used while no report is installed.
#include "platform/core/ErrorReport.h"

#include <QtGlobal>

#include <utility>

namespace platform {
namespace {

ErrorReport& installed()
{
    static ErrorReport report;
    return report;
}

} // namespace

ErrorReport SetErrorReport(ErrorReport report)
{
    std::swap(installed(), report);
    return report;
}

void ReportError(const std::exception& error) noexcept
{
    try {
        if (installed())
            installed()(error);
        else
            qWarning("%s", error.what());
    } catch (...) {
        // A report that fails has nowhere left to go.
    }
}

} // namespace platform
