#include "mail/smtpadapter.h"

namespace vandrex {

TSmtpAdapter::TSmtpAdapter() {
    QObject::connect(&fSmtp, &TSMTP::StateChanged, [this](int state) {
        if (OnStateChanged) OnStateChanged(this, state);
    });
    QObject::connect(&fSmtp, &TSMTP::DocInputChanged, [this](TDocInput* doc) {
        if (OnDocInput) OnDocInput(this, doc->State, doc->BytesTotal, doc->BytesTransferred);
    });
    QObject::connect(&fSmtp, &TSMTP::Error, [this](int number, const QString& description, bool*) {
        if (OnError) OnError(this, number, description);
    });
}

void TSmtpAdapter::SendDoc(const THeaders& headers, const QString& body) {
    THeaderList list;
    for (const auto& [name, value] : headers) list.append({name, value});
    fSmtp.SendDoc(list, body);
}

}  // namespace vandrex
