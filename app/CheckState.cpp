#include "app/CheckState.h"

#include "platform/Application.h"
#include "platform/StrToInt.h"

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

WindowRequest::WindowRequest(TfrmQuorvel& form)
    : form_(form)
    , http_(std::make_unique<net::TNMHTTP>(&form))
{
    http_->InputFileMode = false;
    http_->OutputFileMode = false;
    http_->ReportLevel = 2;
    auto& state = CheckState(form_);
    state.requests.emplace_back(http_.get());
    state.quitWatch.start();
}

WindowRequest::~WindowRequest()
{
    auto& state = CheckState(form_);
    std::erase_if(state.requests, [this](const auto& r) { return r.isNull() || r.data() == http_.get(); });
    if (state.requests.empty())
        state.quitWatch.stop();
}

void WindowRequest::ApplyProxy()
{
    if (!form_.cbProxy->isChecked())
        return;
    http_->Proxy = form_.edProxyHost->text().toStdString();
    http_->ProxyPort = platform::StrToInt(form_.edProxyPort->text().toStdString());
}

} // namespace app
