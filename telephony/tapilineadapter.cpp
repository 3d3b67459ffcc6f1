#include "telephony/tapilineadapter.h"

namespace vandrex {

TTAPILineAdapter::TTAPILineAdapter() : fLine(std::make_unique<TTAPILine>()) {
    fLine->WaitForCall = false;
    fLine->Timeout = 60;
    // The component's events reach whoever listens on the interface, with
    // the interface as sender. The window's phone handlers, assigned on the
    // component itself, keep these and call them after their own.
    fLine->OnConnection = [this](TTAPILine*) { Forward(OnConnection); };
    fLine->OnCallOffering = [this](TTAPILine*) { Forward(OnCallOffering); };
    fLine->OnDisconnect = [this](TTAPILine*) { Forward(OnDisconnect); };
    fLine->OnDropCall = [this](TTAPILine*) { Forward(OnDropCall); };
    fLine->OnNewData = [this](TTAPILine*) { Forward(OnNewData); };
}

TTAPILineAdapter::~TTAPILineAdapter() {
    fLine->OnConnection = nullptr;
    fLine->OnCallOffering = nullptr;
    fLine->OnDisconnect = nullptr;
    fLine->OnDropCall = nullptr;
    fLine->OnNewData = nullptr;
}

void TTAPILineAdapter::Forward(const TNotifyEvent& event) {
    if (event) event(this);
}

}  // namespace vandrex
