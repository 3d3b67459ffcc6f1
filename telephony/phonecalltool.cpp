#include "telephony/phonecalltool.h"

#include "telephony/tapiline.h"

namespace vandrex {

namespace {

// Puts the tool's handler in front of what the event held.
template <class Event>
void Chain(Event& event, Event& previous, std::function<void()> handler) {
    previous = event;
    event = [handler = std::move(handler), next = previous](TTAPILine* line) {
        handler();
        if (next) next(line);
    };
}

}  // namespace

TPhoneCallTool::TPhoneCallTool(TTAPILine& line, TPhoneView& view) : line_(line), view_(view) {
    Chain(line_.OnCallOffering, offering_, [this] { Modem1CallOffering(); });
    Chain(line_.OnConnection, connection_, [this] { Modem1Connection(); });
    Chain(line_.OnDropCall, dropCall_, [this] { Modem1DropCall(); });
    Chain(line_.OnDisconnect, disconnect_, [this] { Modem1Disconnect(); });
    line_.OnAddressCannotCall = [this] { view_.SetLineLamp(true); };
}

TPhoneCallTool::~TPhoneCallTool() {
    line_.OnCallOffering = offering_;
    line_.OnConnection = connection_;
    line_.OnDropCall = dropCall_;
    line_.OnDisconnect = disconnect_;
    line_.OnAddressCannotCall = nullptr;
}

void TPhoneCallTool::WebPhoneButton1Click() {
    if (line_.Dropped) {
        line_.Open();
        line_.MakeCall();
        view_.SetButtonCaption(QStringLiteral("Hang up"));
        view_.SetStatus(QStringLiteral("Dialing ") + view_.PhoneNumberText());
        line_.Dropped = false;
    } else {
        line_.DropCall();
        line_.Close();
        view_.SetButtonCaption(QStringLiteral("Call"));
        view_.SetStatus(QStringLiteral("Phone Disconnected"));
        line_.Dropped = true;
        if (CallStateChanged) CallStateChanged(false);
        if (AnsweringIncoming) {
            line_.WaitForCall = true;
            AnsweringIncoming = false;
        }
    }
}

void TPhoneCallTool::Modem1CallOffering() {
    AnsweringIncoming = true;
    line_.Open();
    view_.SetButtonCaption(QStringLiteral("Hang up"));
    view_.SetStatus(QStringLiteral("Answering Incoming Call"));
}

void TPhoneCallTool::Modem1Connection() {
    view_.SetLineLamp(true);
    view_.SetStatus(QStringLiteral("Connected"));
    line_.Connected = true;
    if (CallStateChanged) CallStateChanged(true);
    line_.StartReceive();
}

void TPhoneCallTool::Modem1DropCall() {
    view_.SetButtonCaption(QStringLiteral("Call"));
    view_.SetStatus(QStringLiteral("Phone Line is Dropped"));
    line_.Connected = false;
    line_.WaitForCall = true;
    view_.SetLineLamp(false);
    if (CallStateChanged) CallStateChanged(false);
}

void TPhoneCallTool::Modem1Disconnect() {
    view_.SetLineLamp(false);
    view_.TransferLampsOff();
    line_.WaitForCall = true;
    view_.SetButtonCaption(QStringLiteral("Call"));
    view_.SetStatus(QStringLiteral("Phone is Disconnected"));
    if (CallStateChanged) CallStateChanged(false);
}

void TPhoneCallTool::Config1Click() { line_.ConfigDialog(); }

void TPhoneCallTool::Device1Click() { line_.TranslateDialog(); }

}  // namespace vandrex
