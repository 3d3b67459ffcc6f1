#include "telephony/tapiline.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <cstring>
#include <vector>

#include "platform/dialogs.h"
#include "telephony/formdialing.h"
#include "telephony/logfile.h"
#include "telephony/newdata.h"

namespace vandrex {

namespace {

TTAPILine* gInstance = nullptr;

void StaticLineCallback(DWORD hDevice, DWORD dwMsg, DWORD_PTR dwInstance, DWORD_PTR p1,
                        DWORD_PTR p2, DWORD_PTR p3) {
    if (gInstance) gInstance->LineCallback(hDevice, dwMsg, dwInstance, p1, p2, p3);
}

const QString kDataModem = QStringLiteral("comm/datamodem");

TDeadline DeadlineIn(int seconds) {
    return std::chrono::steady_clock::now() + std::chrono::seconds(std::max(0, seconds));
}

// Sets a flag for the lifetime of a scope.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TFlagScope() { flag_ = old_; }

private:
    bool& flag_;
    bool old_;
};

}  // namespace

TTAPILine* TTAPILine::Instance() { return gInstance; }

TTAPILine::TTAPILine(QWidget* owner) : owner_(owner) {
    if (gInstance) throw Exception("TAPI component already exists in this process.");
    lineInitialize(&lineApp_, nullptr, &StaticLineCallback, QCoreApplication::applicationName(),
                   &numDevs_);
    apiVersion_ = 0;
    if (numDevs_ == 0)
        ShowMessage(QStringLiteral("There is no modem installed in your PC.\r\n"
                                   "You should install it via Control panel | Modems | Add."));
    gInstance = this;
    form_ = new TformDialing(this);
}

TTAPILine::~TTAPILine() {
    try {
        DropCall();
        Close();
    } catch (...) {
    }
    StopReceiver();
    if (commHandle_) commHandle_->Close();
    commHandle_.reset();
    lineShutdown(lineApp_);
    delete form_;
    gInstance = nullptr;
}

void TTAPILine::Raise(const TNotifyEvent& event) {
    if (event) event(this);
}

void TTAPILine::SetPhoneNumber(const QString& number) {
    if (number != phoneNumber_) phoneNumber_ = number;
}

void TTAPILine::SetDirectAccessScript(const QStringList* lines) {
    if (lines) directAccessScript_ = *lines;
}

void TTAPILine::SetDevIdToInitialize(int v) {
    if (v == devIdToInitialize_) return;
    if (VerifyUsableLine(v) == 0) devIdToInitialize_ = v;
}

TCommHandlePtr TTAPILine::CommHandle() const { return commHandle_; }

// ---- Devices ----

LONG TTAPILine::Negotiate(int deviceId, DWORD low, DWORD high, DWORD* version) const {
    *version = 0;
    LINEEXTENSIONID ext;
    const LONG rc = lineNegotiateAPIVersion(lineApp_, static_cast<DWORD>(deviceId), low, high,
                                            version, &ext);
    if (rc != 0) *version = 0;
    return rc;
}

QString TTAPILine::ReadLineName(int deviceId, DWORD version) const {
    TDevCapsBuffer caps;
    lineGetDevCaps(lineApp_, static_cast<DWORD>(deviceId), version, 0, caps.get());
    const DWORD size = caps->dwLineNameSize, offset = caps->dwLineNameOffset;
    if (size == 0 || offset == 0 || caps->dwStringFormat != STRINGFORMAT_ASCII)
        return QStringLiteral("Line Unnamed");
    // A name reaching past the buffer is cut at its end.
    const DWORD total = caps->dwTotalSize;
    if (offset >= total) return QStringLiteral("Line Unnamed");
    const DWORD length = std::min<DWORD>(size, total - offset);
    const char* start = reinterpret_cast<const char*>(caps.bytes()) + offset;
    const char* nul = static_cast<const char*>(std::memchr(start, 0, length));
    const int n = nul ? static_cast<int>(nul - start) : static_cast<int>(length);
    if (n == 0) return QStringLiteral("Line Name is Empty");
    return QString::fromLatin1(start, n);
}

void TTAPILine::GetLineNames(QStringList& list) const {
    list.clear();
    for (DWORD id = 0; id < numDevs_; ++id) {
        DWORD version = 0;
        Negotiate(static_cast<int>(id), TAPI_VERSION_1_4, TAPI_VERSION_2_0, &version);
        list << (version == 0 ? QStringLiteral("Line Unavailable")
                              : ReadLineName(static_cast<int>(id), version));
    }
}

int TTAPILine::VerifyUsableLine(int deviceId) {
    DWORD version = 0;
    Negotiate(deviceId, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version);
    if (version == 0) return 1;
    TDevCapsBuffer caps;
    lineGetDevCaps(lineApp_, static_cast<DWORD>(deviceId), version, 0, caps.get());
    if (!(caps->dwBearerModes & LINEBEARERMODE_VOICE)) {
        ShowMessage(QStringLiteral("VerifyUsableLine: doesn't support LINEBEARERMODE_VOICE"));
        return 2;
    }
    if (!(caps->dwMediaModes & LINEMEDIAMODE_DATAMODEM)) {
        ShowMessage(QStringLiteral("VerifyUsableLine: doesn't support LINEMEDIAMODE_DATAMODEM"));
        return 3;
    }
    if (!(caps->dwLineFeatures & LINEFEATURE_MAKECALL)) {
        ShowMessage(QStringLiteral("VerifyUsableLine: doesn't support LINEFEATURE_MAKECALL"));
        return 4;
    }
    HLINE trial = 0;
    const LONG rc = lineOpen(lineApp_, static_cast<DWORD>(deviceId), &trial, version, 0, 0,
                             LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
    if (rc == LINEERR_ALLOCATED) {
        ShowMessage(QStringLiteral("VerifyUsableLine: \r\nLine is already in use by a non-Vandrex app or\r\n"
                                   "another Service Provider."));
        return 5;
    }
    int result = 0;
    if (rc == 0) {
        TAddressStatusBuffer status;
        lineGetAddressStatus(trial, 0, status.get());
        if (!(status->dwAddressFeatures & LINEADDRFEATURE_MAKECALL)) {
            if (OnAddressCannotCall) OnAddressCannotCall();
            result = 6;
        }
        lineClose(trial);
    }
    return result;
}

QIcon TTAPILine::LineIcon(int deviceId) const {
    if (deviceId == -1) deviceId = devIdToInitialize_;
    if (deviceId == -1) return QIcon();
    HICON icon = nullptr;
    lineGetIcon(static_cast<DWORD>(deviceId), kDataModem, &icon);
    return icon ? *icon : QIcon();
}

void TTAPILine::ConfigDialog() {
    lineConfigDialog(static_cast<DWORD>(devIdToInitialize_), owner_, kDataModem);
}

void TTAPILine::TranslateDialog() {
    lineTranslateDialog(lineApp_, static_cast<DWORD>(devIdToInitialize_),
                        apiVersion_ != 0 ? apiVersion_ : TAPI_VERSION_1_4, owner_, phoneNumber_);
}

// ---- Line ----

void TTAPILine::Open() {
    if (openDevice_ == -1 || openDevice_ != devIdToInitialize_) {
        if (openDevice_ != -1) {
            // Another device: the old line and its call end first.
            Connected = false;
            CloseStream();
            lineClose(lineHandle_);
            openDevice_ = -1;
            callHandle_ = 0;
        }
        apiVersion_ = 0;
        Negotiate(devIdToInitialize_, TAPI_VERSION_1_4, TAPI_VERSION_2_0, &apiVersion_);
        HLINE handle = 0;
        if (lineOpen(lineApp_, static_cast<DWORD>(devIdToInitialize_), &handle, apiVersion_, 0, 0,
                     LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM,
                     nullptr) == 0) {
            lineHandle_ = handle;
            openDevice_ = devIdToInitialize_;
        }
    }
    Dropped = false;
    Suspended = false;
    // A receive thread that has ended is forgotten; a running one stays the
    // only one.
    if (receiver_ && receiver_->Finished()) receiver_.reset();
    Raise(OnOpen);
}

void TTAPILine::Close() {
    QCoreApplication::processEvents();
    Connected = false;
    CloseStream();
    if (numDevs_ != 0) lineClose(lineHandle_);
    openDevice_ = -1;
    Raise(OnClose);
}

void TTAPILine::CloseStream() {
    StopReceiver();  // before the stream goes: the thread never waits on a closed one
    if (commHandle_) {
        commHandle_->Purge(true, true);
        commHandle_->Close();
        commHandle_.reset();
    }
}

// ---- Calls ----

bool TTAPILine::MakeCall() {
    if (lineHandle_ == 0) throw Exception("TAPILine: You must open line at first");
    if (PendingMakeCall > 0) return false;
    TLineRecord<LINECALLPARAMS, 176> params;
    params->dwBearerMode = DeviceDirectAccess ? LINEBEARERMODE_PASSTHROUGH : LINEBEARERMODE_VOICE;
    params->dwMediaMode = LINEMEDIAMODE_DATAMODEM;
    Dropped = false;
    HCALL call = 0;
    const LONG rc = lineMakeCall(lineHandle_, &call, DeviceDirectAccess ? nullptr : &phoneNumber_, 0,
                                 params.get());
    if (rc > 0) callHandle_ = call;
    PendingMakeCall = rc;
    return true;
}

void TTAPILine::DropCall() {
    Connected = false;
    Dropped = true;
    StopReceiver();
    if (callHandle_ != 0) {
        PendingDrop = lineDrop(callHandle_, nullptr, 0);
        callHandle_ = 0;
    }
    Raise(OnDropCall);
}

void TTAPILine::LineCallback(DWORD hDevice, DWORD dwMsg, DWORD_PTR, DWORD_PTR dwParam1, DWORD_PTR,
                             DWORD_PTR) {
    switch (dwMsg) {
    case LINE_CALLSTATE: {
        // A message about a call other than the current one only releases
        // that call; it must not end the current call's stream.
        const bool other = callHandle_ != 0 && hDevice != callHandle_;
        switch (dwParam1) {
        case LINECALLSTATE_IDLE:
            if (other) {
                lineDeallocateCall(hDevice);
                break;
            }
            if (callHandle_ != 0) lineDeallocateCall(callHandle_);
            callHandle_ = 0;
            Connected = false;
            CloseStream();
            break;
        case LINECALLSTATE_OFFERING:
            if (Connected) break;
            callHandle_ = hDevice;
            Raise(OnCallOffering);
            if (WaitForCall) lineAnswer(callHandle_, nullptr, 0);
            break;
        case LINECALLSTATE_BUSY:
            Raise(OnBusy);
            break;
        case LINECALLSTATE_CONNECTED: {
            if (Dropped || devIdToInitialize_ == -1 || Connected) break;
            TCommHandlePtr stream;
            lineGetID(hDevice, kDataModem, &stream);
            if (!stream) break;  // ended before this message arrived
            StopReceiver();
            if (commHandle_ && commHandle_ != stream) commHandle_->Close();
            commHandle_ = stream;
            if (DeviceDirectAccess && !directAccessScript_.isEmpty()) {
                try {
                    if (!RunDirectAccessScript()) break;  // the user hung up meanwhile
                } catch (const Exception& e) {
                    if (ScriptErrorText.isEmpty()) ScriptErrorText = QString::fromStdString(e.message());
                    ShowMessage(ScriptErrorText);
                    break;
                }
            }
            Raise(OnConnection);
            break;
        }
        case LINECALLSTATE_DISCONNECTED:
            if (other) break;
            Connected = false;
            CloseStream();
            Raise(OnDisconnect);
            break;
        default:
            break;
        }
        break;
    }
    case LINE_CLOSE:
        if (hDevice == lineHandle_ && openDevice_ != -1) {
            // The device went away: release the line so a later Open starts afresh.
            Connected = false;
            CloseStream();
            lineClose(lineHandle_);
            openDevice_ = -1;
        }
        Raise(OnUnexpectedClose);
        break;
    case LINE_REPLY:
        try {
            const LONG request = static_cast<LONG>(dwParam1);
            if (request == PendingMakeCall) PendingMakeCall = 0;
            if (request == PendingDrop) {
                PendingMakeCall = 0;
                PendingDrop = 0;
            }
        } catch (...) {
        }
        break;
    default:
        break;
    }
}

// ---- Stream ----

QString TTAPILine::CommErrorText(std::uint32_t value) {
    switch (value) {
    case CE_RXOVER:
        return QStringLiteral("An input buffer overflow has occurred. There is either no room in the "
                              "input buffer, or a character was received after the end-of-file (EOF) "
                              "character.");
    case CE_OVERRUN: return QStringLiteral("A character-buffer overrun has occurred. The next character is lost.");
    case CE_RXPARITY: return QStringLiteral("The hardware detected a parity error.");
    case CE_FRAME: return QStringLiteral("The hardware detected a framing error.");
    case CE_BREAK: return QStringLiteral("The hardware detected a break condition.");
    case CE_TXFULL:
        return QStringLiteral("The application tried to transmit a character, but the output buffer was full.");
    case CE_PTO: return QStringLiteral("Windows 95 only: A time-out occurred on a parallel device.");
    case CE_IOE: return QStringLiteral("An I/O error occurred during communications with the device.");
    case CE_DNS: return QStringLiteral("Windows 95 only: A parallel device is not selected.");
    case CE_OOP: return QStringLiteral("Windows 95 only: A parallel device signaled that it is out of paper.");
    case CE_MODE:
        return QStringLiteral("The requested mode is not supported, or the hFile parameter is invalid. "
                              "If this value is specified, it is the only valid error.");
    default: return QString();
    }
}

namespace {
[[noreturn]] void RaiseText(const QString& text) { throw Exception(text.toStdString()); }

// The error of a read or write that did not complete; each direction has
// its own texts.
struct TStreamTexts {
    const char* TimedOut;
    const char* HungUp;
    const char* Failed;
};
constexpr TStreamTexts kWriteTexts{"Timeout during write operation.", "Connection has been broken during write.",
                                   "Error to writing to com port."};
constexpr TStreamTexts kReadTexts{"Timeout during read operation.", "Connection has been broken during read.",
                                  "Error reading from com port."};

[[noreturn]] void RaiseStreamFailure(TCommHandle::Status status, TCommHandle& stream, const TStreamTexts& texts) {
    switch (status) {
    case TCommHandle::Status::Closed:
        RaiseText(QStringLiteral("COM Error: ") + TTAPILine::CommErrorText(stream.ClearErrors()));
    case TCommHandle::Status::TimedOut:
        stream.Purge(true, true);
        RaiseText(QString::fromLatin1(texts.TimedOut));
    case TCommHandle::Status::HungUp: RaiseText(QString::fromLatin1(texts.HungUp));
    case TCommHandle::Status::Ok:
    case TCommHandle::Status::Failed: break;
    }
    RaiseText(QString::fromLatin1(texts.Failed));
}
}  // namespace

bool TTAPILine::StreamUp() const { return (Connected || scriptRunning_) && commHandle_ != nullptr; }

bool TTAPILine::WriteBuffer(const void* data, long count) {
    if (!StreamUp()) return false;
    if (count <= 0) return true;
    const TCommHandlePtr stream = commHandle_;
    const auto* p = static_cast<const char*>(data);
    long done = 0;
    const TDeadline deadline = DeadlineIn(Timeout);
    while (done < count) {
        const auto r = stream->Write(p + done, static_cast<std::size_t>(count - done), deadline);
        if (r.status != TCommHandle::Status::Ok) RaiseStreamFailure(r.status, *stream, kWriteTexts);
        done += static_cast<long>(r.bytes);
    }
    return true;
}

bool TTAPILine::WriteString(const QByteArray& text) {
    if (text.isEmpty()) return false;
    return WriteBuffer(text.constData(), text.size());
}

bool TTAPILine::WriteString(const QString& text) { return WriteString(text.toLatin1()); }

long TTAPILine::ReadBuffer(void* buffer, long count, long bufferSize) {
    if (!StreamUp()) return 0;
    if (bufferSize <= 0) return 0;
    std::memset(buffer, 0, static_cast<std::size_t>(std::min(std::max(count, 0L), bufferSize)));
    if (count == 0) count = BytesInQueue();
    // Never more than the buffer holds.
    count = std::min(count, bufferSize);
    if (count <= 0) return 0;
    const TCommHandlePtr stream = commHandle_;
    auto* p = static_cast<char*>(buffer);
    long done = 0;
    const TDeadline deadline = DeadlineIn(Timeout);
    while (done < count) {
        const auto r = stream->Read(p + done, static_cast<std::size_t>(count - done), deadline);
        if (r.status != TCommHandle::Status::Ok) RaiseStreamFailure(r.status, *stream, kReadTexts);
        done += static_cast<long>(r.bytes);
    }
    return done;
}

void TTAPILine::ReadString(long count, QByteArray& text) {
    text.clear();
    if (count == 0) {
        count = BytesInQueue();
        if (count == 0) return;
    }
    if (count < 0) return;
    std::vector<char> buffer(static_cast<std::size_t>(count) + 10, 0);
    ReadBuffer(buffer.data(), count, static_cast<long>(buffer.size()));
    const char* nul = static_cast<const char*>(std::memchr(buffer.data(), 0, static_cast<std::size_t>(count)));
    text = QByteArray(buffer.data(), nul ? static_cast<int>(nul - buffer.data()) : static_cast<int>(count));
}

void TTAPILine::ReadString(long count, QString& text) {
    QByteArray bytes;
    ReadString(count, bytes);
    text = QString::fromLatin1(bytes);
}

long TTAPILine::BytesInQueue() {
    if (!StreamUp()) return 0;
    const long n = commHandle_->BytesWaiting();
    commHandle_->ClearErrors();
    if (n > 700000)
        RaiseText(QStringLiteral("It seems that ClearCommError function failed.\rOr you try to get more than 700 MB."));
    return std::max(0L, n);
}

void TTAPILine::StartReceive() {
    if (!Connected) return;
    Suspended = false;
    if (receiver_ && !receiver_->Finished()) {
        receiver_->Resume();  // reports what waits now
        return;
    }
    form_->Post(StartReceiver);
}

void TTAPILine::HandleStartReceiver() {
    if (receiver_ && !receiver_->Finished()) return;  // at most one
    receiver_.reset();
    if (!commHandle_ || !Connected) return;
    TformDialing* form = form_;
    receiver_ = std::make_unique<TNewData>(
        commHandle_, [this] { return Connected.load() && !Suspended.load(); },
        [this, form] {
            if (!noticePending_.exchange(true)) form->Post(NewDataNotice);
        });
}

void TTAPILine::HandleNewDataNotice() {
    noticePending_ = false;
    if (!Suspended && OnNewData) OnNewData(this);
}

void TTAPILine::StopReceiver() {
    if (!receiver_) return;
    receiver_->Stop();
    receiver_.reset();
}

bool TTAPILine::ReceiverRunning() const { return receiver_ && !receiver_->Finished(); }

// ---- Direct-access script ----

namespace {

// Waits up to ms milliseconds while serving the event loop; returns early
// when stop says so.
void WaitServing(int ms, const std::function<bool()>& stop) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && !stop()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

}  // namespace

bool TTAPILine::RunDirectAccessScript() {
    TFlagScope running(scriptRunning_);
    ScriptErrorText.clear();
    std::unique_ptr<TLogFile> log;
    if (!DirectAccessLogFile.isEmpty()) {
        log = std::make_unique<TLogFile>();
        log->AddLine(QStringLiteral("TAPILine logfile: "), TLogFile::Stamp());
    }
    auto addLine = [&](const QString& message, const QString& data) {
        if (log) log->AddLine(message, data);
    };
    auto saveLog = [&] {
        if (log) log->SaveLog(DirectAccessLogFile);
    };
    auto purgeAll = [&] {
        if (commHandle_) commHandle_->Purge(true, true);
    };
    const QStringList script = directAccessScript_;
    QString answer;
    for (int i = 0; i < script.size(); ++i) {
        const QString command = script[i];
        addLine(QStringLiteral("Write (send command to modem)"), command + QStringLiteral("\r\n"));
        WriteString(command + QStringLiteral("\r\n"));
        answer.clear();
        bool next = false;
        while (!Dropped && !next) {
            WaitServing(1000, [this] { return Dropped.load() || !commHandle_; });
            if (Dropped) break;
            if (!commHandle_) {
                // The line ended the call while the script waited.
                addLine(QStringLiteral("Error (modem return bad response)"), answer);
                saveLog();
                ScriptErrorText = QStringLiteral("Connection has been broken during read.");
                RaiseText(ScriptErrorText);
            }
            QString got;
            ReadString(0, got);
            answer += got;
            addLine(QStringLiteral("Read (command in process)"), answer);
            const QString upper = answer.toUpper();
            if (upper.contains(QStringLiteral("OK"))) {
                addLine(QStringLiteral("Command complete (OK received)"), answer);
                answer.clear();
                if (i + 1 < script.size()) next = true;  // else wait for CONNECT
            } else if (upper.contains(QStringLiteral("CONNECT"))) {
                addLine(QStringLiteral("Connected! (conection esteblished)"), answer);
                saveLog();
                purgeAll();
                return true;
            } else if (upper.contains(QStringLiteral("ERROR")) || upper.contains(QStringLiteral("NO "))) {
                addLine(QStringLiteral("Error (modem return bad response)"), answer);
                purgeAll();
                saveLog();
                ScriptErrorText = QStringLiteral("TAPILine: Device direct access script error: \"") +
                                  command + QStringLiteral("\".\r\n") + answer;
                RaiseText(ScriptErrorText);
            }
        }
        if (Dropped) break;
    }
    addLine(QStringLiteral("Dropped (user hangup)"), answer);
    saveLog();
    return false;
}

}  // namespace vandrex
