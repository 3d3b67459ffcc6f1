#pragma once
// What the SMTP and FTP controls share on the way up and down: the
// connection state (1 Connect called, 2 resolving the host, 3 host resolved,
// 4 session ready, 5 closing, 6 closed, the start state), the host look-up
// between 2 and 3, the wait timer and the reply reader. Each control keeps
// its own protocol phases and answers through the four hooks below.

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "mail/replyreader.h"

class QHostInfo;

namespace vandrex {

class TMailConnection : public QObject {
    Q_OBJECT
public:
    ~TMailConnection() override;

    int Timeout = 30000;     // ms, every wait for the server
    int QuitTimeout = 2000;  // ms, the wait for the reply to QUIT

    int State() const { return fState; }
    // The error collection of the last error: one description per entry.
    QStringList Errors;

signals:
    void StateChanged(int state);

protected:
    explicit TMailConnection(QObject* parent);

    void SetState(int state);
    // States 1 and 2, then the look-up of fHost, each step only while no
    // handler of the states before has ended the attempt.
    void BeginConnect();
    // A look-up under way is dropped.
    void StopLookup();
    // On to 5 (unless there) and 6, from any state but 6.
    void EndStates();

    // The control's phase for the look-up, and whether it still holds (a
    // handler of a state may have quit meanwhile).
    virtual void EnterResolving() = 0;
    virtual bool Resolving() const = 0;
    // The look-up failed: report it and go down.
    virtual void HostNotFound(const QString& error) = 0;
    // Connects to the first of fAddresses (the others are the fallbacks).
    virtual void TryNextAddress() = 0;

    int fState = 6;
    TReplyReader fReader;
    QTimer fWait;
    QString fHost;
    QList<QHostAddress> fAddresses;

private:
    void HostFound(const QHostInfo& info);

    int fLookupId = -1;
};

}  // namespace vandrex
