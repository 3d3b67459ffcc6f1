#pragma once
// TTAPILine: the telephony line used as a data modem. It initialises the line
// layer for the process, lists the devices and checks whether one can carry a
// data call, opens and closes the chosen line, places, answers and drops
// calls, turns the layer's messages into its events, and reads and writes
// the connected call's stream. One instance per process.
//
// Everything here runs on the user-interface thread except the receive
// thread TNewData (newdata.h), which only waits for arrivals and posts
// notices to the hidden TformDialing window.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "platform/exceptions.h"
#include "platform/telephony/tapi.h"

class QWidget;

namespace vandrex {

class TformDialing;
class TNewData;

class TTAPILine : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TTAPILine* sender)>;

    // Private notices to the hidden window.
    static constexpr int StartReceiver = 0x0709;
    static constexpr int NewDataNotice = 0x070A;

    // Raises "TAPI component already exists in this process." when one lives.
    // owner parents the line dialogs.
    explicit TTAPILine(QWidget* owner = nullptr);
    ~TTAPILine() override;
    TTAPILine(const TTAPILine&) = delete;
    TTAPILine& operator=(const TTAPILine&) = delete;

    // The one live instance (nullptr when none); the layer's callback reaches
    // the component through it.
    static TTAPILine* Instance();

    // ---- Published properties (constructor defaults) ----
    bool WaitForCall = true;          // answer offered calls
    bool DeviceDirectAccess = false;  // pass-through call plus script
    int Timeout = 120;                // seconds, one read or write
    QString DirectAccessLogFile;      // empty = no script log

    QString PhoneNumber() const { return phoneNumber_; }
    void SetPhoneNumber(const QString& number);
    int DevIdToInitialize() const { return devIdToInitialize_; }
    // Takes v only when VerifyUsableLine(v) is 0; the same value does nothing.
    void SetDevIdToInitialize(int v);
    const QStringList& DirectAccessScript() const { return directAccessScript_; }
    void SetDirectAccessScript(const QStringList* lines);  // nullptr ignored

    TNotifyEvent OnConnection, OnCallOffering, OnDisconnect, OnDropCall, OnNewData;
    TNotifyEvent OnBusy, OnOpen, OnClose, OnUnexpectedClose;

    // ---- Run-time state ----
    HLINEAPP LineApp() const { return lineApp_; }
    DWORD NumDevs() const { return numDevs_; }
    DWORD ApiVersion() const { return apiVersion_; }
    HLINE LineHandle() const { return lineHandle_; }
    HCALL CallHandle() const { return callHandle_; }
    // The connected call's stream; nullptr when there is none.
    TCommHandlePtr CommHandle() const;
    int OpenDevice() const { return openDevice_; }  // -1 while no line is open
    LONG PendingMakeCall = 0;
    LONG PendingDrop = 0;
    QString ScriptErrorText;
    // Shared with the receive thread.
    std::atomic<bool> Connected{false};
    std::atomic<bool> Dropped{false};
    std::atomic<bool> Suspended{false};

    // ---- Line ----
    // Opens DevIdToInitialize. The device already open stays open with its
    // calls; another device closes the old line first.
    void Open();
    // Stops the receive thread, closes the stream and the line.
    void Close();
    void ConfigDialog();
    void TranslateDialog();
    // Icon of a device (-1: DevIdToInitialize); a null icon when none.
    QIcon LineIcon(int deviceId) const;
    // One entry per device in device-ID order.
    void GetLineNames(QStringList& list) const;
    // 0 usable; 1 no version; 2 no voice bearer; 3 no data-modem media;
    // 4 cannot make calls; 5 in use elsewhere; 6 address cannot make calls.
    int VerifyUsableLine(int deviceId);
    // Set by VerifyUsableLine's code 6; the owner lights LEDWebPhoneIPLabel1.
    std::function<void()> OnAddressCannotCall;

    // ---- Calls ----
    // False while a make-call request is still outstanding; raises
    // "TAPILine: You must open line at first" when no line was ever opened.
    bool MakeCall();
    void DropCall();
    void LineCallback(DWORD hDevice, DWORD dwMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                      DWORD_PTR dwParam2, DWORD_PTR dwParam3);

    // ---- Stream ----
    // False when not connected; raises the stream's error texts otherwise.
    bool WriteBuffer(const void* data, long count);
    bool WriteString(const QByteArray& text);
    bool WriteString(const QString& text);  // Latin-1 bytes
    // Reads count bytes into buffer, waiting up to Timeout seconds; count 0
    // reads what is waiting. Never writes past bufferSize bytes. Returns the
    // bytes read (0 when not connected).
    long ReadBuffer(void* buffer, long count, long bufferSize);
    // Text up to the first NUL, at most count bytes (0: all waiting).
    void ReadString(long count, QByteArray& text);
    void ReadString(long count, QString& text);  // Latin-1
    long BytesInQueue();
    void StartReceive();
    // Drives the modem by the script in pass-through mode; raises the script
    // error text on a bad answer. True on CONNECT, false when dropped.
    bool RunDirectAccessScript();
    // Stops the receive thread and waits for it (no-op when none runs).
    void StopReceiver();
    bool ReceiverRunning() const;

    // Text of a ClearCommError value; empty unless exactly one known bit.
    static QString CommErrorText(std::uint32_t value);

    TformDialing* DialingForm() const { return form_; }

private:
    friend class TformDialing;
    void HandleStartReceiver();
    void HandleNewDataNotice();
    void CloseStream();
    // The stream may be used: connected, or the script drives the modem.
    bool StreamUp() const;
    LONG Negotiate(int deviceId, DWORD low, DWORD high, DWORD* version) const;
    QString ReadLineName(int deviceId, DWORD version) const;
    void Raise(const TNotifyEvent& event);

    QWidget* owner_;
    QString phoneNumber_;
    int devIdToInitialize_ = -1;
    QStringList directAccessScript_;
    HLINEAPP lineApp_ = 0;
    DWORD numDevs_ = 0;
    DWORD apiVersion_ = 0;
    HLINE lineHandle_ = 0;
    HCALL callHandle_ = 0;
    int openDevice_ = -1;
    TCommHandlePtr commHandle_;
    std::unique_ptr<TNewData> receiver_;
    std::atomic<bool> noticePending_{false};  // a NewDataNotice is on its way
    bool scriptRunning_ = false;
    TformDialing* form_ = nullptr;
};

}  // namespace vandrex
