#include "mail/ftpadapter.h"

namespace vandrex {

TFtpAdapter::TFtpAdapter() {
    QObject::connect(&fFtp, &TFTP::ProtocolStateChanged, [this](int protocolState) {
        if (OnProtocolStateChanged) OnProtocolStateChanged(this, protocolState);
    });
    QObject::connect(&fFtp, &TFTP::StateChanged, [this](int state) {
        if (OnStateChanged) OnStateChanged(this, state);
    });
    QObject::connect(&fFtp, &TFTP::Busy, [this](bool isBusy) {
        if (OnBusy) OnBusy(this, isBusy);
    });
}

}  // namespace vandrex
