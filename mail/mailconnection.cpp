#include "mail/mailconnection.h"

#include <QHostInfo>

namespace vandrex {

TMailConnection::TMailConnection(QObject* parent) : QObject(parent) { fWait.setSingleShot(true); }

TMailConnection::~TMailConnection() { StopLookup(); }

void TMailConnection::SetState(int state) {
    fState = state;
    emit StateChanged(state);
}

void TMailConnection::BeginConnect() {
    fReader.Clear();
    Errors.clear();
    SetState(1);
    if (fState != 1)
        return;
    EnterResolving();
    SetState(2);
    if (!Resolving())
        return;
    fWait.start(Timeout);
    fLookupId = QHostInfo::lookupHost(fHost, this, &TMailConnection::HostFound);
}

void TMailConnection::HostFound(const QHostInfo& info) {
    fLookupId = -1;
    if (!Resolving())
        return;
    fWait.stop();
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        HostNotFound(info.errorString());
        return;
    }
    fAddresses = info.addresses();
    SetState(3);
    if (!Resolving())
        return;
    TryNextAddress();
}

void TMailConnection::StopLookup() {
    if (fLookupId >= 0) {
        QHostInfo::abortHostLookup(fLookupId);
        fLookupId = -1;
    }
}

void TMailConnection::EndStates() {
    if (fState == 6)
        return;
    if (fState != 5)
        SetState(5);
    SetState(6);
}

}  // namespace vandrex
