// The window's checking state: the run under way, the requests in flight and their proxy settings.
#include "app/CheckState.h"

#include "platform/core/StrToInt.h"
#include "platform/desktop/Application.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>

namespace app {

namespace {
constexpr int kQuitWatchMs = 20;
}

TfrmQuorvel::TCheckState::TCheckState(TfrmQuorvel&)
{
    quitWatch.setInterval(kQuitWatchMs);
    QObject::connect(&quitWatch, &QTimer::timeout, [this] { WatchForQuit(); });
}

void TfrmQuorvel::TCheckState::WatchForQuit()
{
    if (!platform::Application::instance().Terminated())
        return;
    for (const auto& request : requests)
        if (request)
            request->Cancel();
}

void TfrmQuorvel::TCheckStateDeleter::operator()(TCheckState* state) const
{
    delete state;
}

TfrmQuorvel::TCheckState& CheckState(TfrmQuorvel& form)
{
    if (!form.FCheckState)
        form.FCheckState.reset(new TfrmQuorvel::TCheckState(form));
    return *form.FCheckState;
}

QDateTime Now(TfrmQuorvel& form)
{
    const auto& clock = CheckState(form).clock;
    return clock ? clock() : QDateTime::currentDateTime();
}

RequestRegistration::RequestRegistration(TfrmQuorvel& form, net::TPowersock* request)
    : form_(form)
    , request_(request)
{
    auto& state = CheckState(form_);
    state.requests.emplace_back(request_);
    state.quitWatch.start();
}

RequestRegistration::~RequestRegistration()
{
    auto& state = CheckState(form_);
    std::erase_if(state.requests, [this](const auto& r) { return r.isNull() || r.data() == request_; });
    if (state.requests.empty())
        state.quitWatch.stop();
}

WindowRequest::WindowRequest(TfrmQuorvel& form)
    : form_(form)
    , http_(std::make_unique<net::TNMHTTP>(&form))
    , registration_(form, http_.get())
{
    http_->InputFileMode = false;
    http_->OutputFileMode = false;
    http_->ReportLevel = 2;
}

WindowRequest::~WindowRequest() = default;

void WindowRequest::ApplyProxy()
{
    if (!form_.cbProxy->isChecked())
        return;
    http_->Proxy = form_.edProxyHost->text().toStdString();
    http_->ProxyPort = platform::StrToInt(form_.edProxyPort->text().toStdString());
}

} // namespace app
