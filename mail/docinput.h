#pragma once
// The document input object of the SMTP and FTP controls: the header list
// handed over with a document, the transfer state and the byte counts the
// progress events report.

#include <QString>

#include "mail/mailmessage.h"

namespace vandrex {

class TDocInput {
public:
    // Transfer states reported by the SMTP control.
    enum : int { StateMailFrom = 1, StateRcptTo = 2, StateSending = 3, StateEnd = 5 };

    THeaderList Headers;
    int State = 0;
    qint64 BytesTotal = 0;
    qint64 BytesTransferred = 0;
    QString FileName;  // the local file of an FTP put

    void ClearHeaders() { Headers.clear(); }
    void AddHeader(const QString& name, const QString& value) { Headers.append({name, value}); }
};

}  // namespace vandrex
