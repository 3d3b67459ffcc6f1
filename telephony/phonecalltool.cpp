#include "telephony/phonecalltool.h"

#include "telephony/tapiline.h"

namespace vandrex {

TPhoneCallTool::TPhoneCallTool(TTAPILine& line, TPhoneView& view) : line_(line), view_(view) {
    line_.OnCallOffering = [this](TTAPILine*) { Modem1CallOffering(); };
    line_.OnConnection = [this](TTAPILine*) { Modem1Connection(); };
    line_.OnDropCall = [this](TTAPILine*) { Modem1DropCall(); };
    line_.OnDisconnect = [this](TTAPILine*) { Modem1Disconnect(); };
    line_.OnAddressCannotCall = [this] { view_.SetLineLamp(true); };
}

TPhoneCallTool::~TPhoneCallTool() {
    line_.OnCallOffering = nullptr;
    line_.OnConnection = nullptr;
    line_.OnDropCall = nullptr;
    line_.OnDisconnect = nullptr;
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
