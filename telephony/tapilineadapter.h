#pragma once
// Modem1 as the window sees it: TTAPILine behind TLineInterface. The names
// of the two clash (the component's flags are fields, its events carry the
// component), so the adapter owns the component and translates. The window's
// phone handlers drive the component itself (Control()).

#include <memory>

#include "telephony/lineinterface.h"
#include "telephony/tapiline.h"

namespace vandrex {

class TTAPILineAdapter : public TLineInterface {
public:
    // The program's Modem1: answers no offered call until a hang-up re-arms
    // it, one read or write waits at most 60 seconds.
    TTAPILineAdapter();
    ~TTAPILineAdapter() override;

    void Open() override { fLine->Open(); }
    void Close() override { fLine->Close(); }
    // The component's "open the line first" error reaches the caller.
    void MakeCall() override { fLine->MakeCall(); }
    void DropCall() override { fLine->DropCall(); }
    int DevIdToInitialize() const override { return fLine->DevIdToInitialize(); }
    void SetDevIdToInitialize(int deviceId) override { fLine->SetDevIdToInitialize(deviceId); }
    QString PhoneNumber() const override { return fLine->PhoneNumber(); }
    void SetPhoneNumber(const QString& number) override { fLine->SetPhoneNumber(number); }
    bool Connected() const override { return fLine->Connected; }
    void SetConnected(bool on) override { fLine->Connected = on; }
    bool Dropped() const override { return fLine->Dropped; }
    void SetDropped(bool on) override { fLine->Dropped = on; }
    bool Suspended() const override { return fLine->Suspended; }
    void SetSuspended(bool on) override { fLine->Suspended = on; }
    void ConfigDialog() override { fLine->ConfigDialog(); }
    void TranslateDialog() override { fLine->TranslateDialog(); }
    TTAPILine* Control() override { return fLine.get(); }

private:
    void Forward(const TNotifyEvent& event);
    std::unique_ptr<TTAPILine> fLine;
};

}  // namespace vandrex
