#include "platform/telephony/tapi.h"

#include <QApplication>
#include <QDir>
#include <QObject>
#include <QPointer>
#include <QStyle>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "platform/telephony/hayesmodem.h"
#include "platform/telephony/linedevice.h"
#include "platform/telephony/linesettings.h"
#include "platform/telephony/networkline.h"

namespace vandrex {

namespace {

// A serial port with a real UART behind it (ttyS entries exist for every
// possible port; only those with a known UART type are usable).
bool HasUart(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct s{};
    const bool uart = ::ioctl(fd, TIOCGSERIAL, &s) == 0 && s.type != PORT_UNKNOWN;
    ::close(fd);
    return uart;
}

QStringList SerialPorts() {
    if (qEnvironmentVariableIsSet("VANDREX_MODEMS")) {
        QStringList paths;
        for (const QString& p : qEnvironmentVariable("VANDREX_MODEMS").split(QLatin1Char(':')))
            if (!p.trimmed().isEmpty()) paths << p.trimmed();
        return paths;
    }
    QStringList paths;
    const QDir dev(QStringLiteral("/dev"));
    auto byNumber = [](QStringList names, const QString& prefix) {
        std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
            return a.mid(prefix.size()).toInt() < b.mid(prefix.size()).toInt();
        });
        return names;
    };
    for (const QString& n : byNumber(dev.entryList({QStringLiteral("ttyS*")}, QDir::System), "ttyS"))
        if (HasUart(dev.filePath(n))) paths << dev.filePath(n);
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        const QString p = QString::fromLatin1(prefix);
        for (const QString& n : byNumber(dev.entryList({p + QLatin1Char('*')}, QDir::System), p))
            paths << dev.filePath(n);
    }
    return paths;
}

class TAppSink;

struct TApp {
    LINECALLBACK callback = nullptr;
    QObject* receiver = nullptr;  // lives in the thread that initialised
    std::vector<std::unique_ptr<TLineDevice>> devices;
    std::vector<int> owners;  // owner lines per device
    std::vector<std::unique_ptr<TAppSink>> sinks;
};

struct TOpenLine {
    HLINEAPP app = 0;
    DWORD device = 0;
    bool owner = false;
};

std::recursive_mutex gMutex;
std::map<HLINEAPP, std::unique_ptr<TApp>> gApps;
std::map<HLINE, TOpenLine> gLines;
std::atomic<DWORD> gNextHandle{1};
std::atomic<DWORD> gNextRequest{1};

class TAppSink : public TLineSink {
public:
    TAppSink(QObject* receiver, LINECALLBACK callback, DWORD_PTR instance)
        : receiver_(receiver), callback_(callback), instance_(instance) {}
    void Post(DWORD hDevice, DWORD msg, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) override {
        LINECALLBACK cb = callback_;
        const DWORD_PTR instance = instance_;
        QMetaObject::invokeMethod(
            receiver_, [=] { cb(hDevice, msg, instance, p1, p2, p3); }, Qt::QueuedConnection);
    }

private:
    QObject* receiver_;
    LINECALLBACK callback_;
    DWORD_PTR instance_;
};

TApp* FindApp(HLINEAPP h) {
    auto it = gApps.find(h);
    return it == gApps.end() ? nullptr : it->second.get();
}

TLineDevice* DeviceOfLine(HLINE h) {
    auto it = gLines.find(h);
    if (it == gLines.end()) return nullptr;
    TApp* app = FindApp(it->second.app);
    return app ? app->devices[it->second.device].get() : nullptr;
}

TLineDevice* DeviceOfCall(HCALL call) {
    for (auto& [h, line] : gLines) {
        TApp* app = FindApp(line.app);
        if (app && app->devices[line.device]->HasCall(call)) return app->devices[line.device].get();
    }
    return nullptr;
}

DWORD NewHandle() { return gNextHandle.fetch_add(1); }
DWORD NewRequest() {
    DWORD r = gNextRequest.fetch_add(1);
    if (r > 0x7FFFFFFF) {  // request IDs stay positive
        gNextRequest = 1;
        r = gNextRequest.fetch_add(1);
    }
    return r;
}

}  // namespace

std::vector<std::unique_ptr<TLineDevice>> EnumerateLineDevices() {
    std::vector<std::unique_ptr<TLineDevice>> devices;
    const TNetworkLineSettings net = NetworkLineSettings();
    if (net.enabled) devices.push_back(std::make_unique<TNetworkLine>(net));
    for (const QString& port : SerialPorts()) devices.push_back(std::make_unique<THayesModem>(port));
    return devices;
}

LONG lineInitialize(HLINEAPP* lphLineApp, void*, LINECALLBACK lpfnCallback, const QString&,
                    DWORD* lpdwNumDevs) {
    if (!lphLineApp || !lpdwNumDevs || !lpfnCallback) return LINEERR_INVALPOINTER;
    auto app = std::make_unique<TApp>();
    app->callback = lpfnCallback;
    app->receiver = new QObject;
    app->devices = EnumerateLineDevices();
    app->owners.assign(app->devices.size(), 0);
    *lpdwNumDevs = static_cast<DWORD>(app->devices.size());
    std::lock_guard lock(gMutex);
    const HLINEAPP h = NewHandle();
    gApps[h] = std::move(app);
    *lphLineApp = h;
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp) {
    std::unique_ptr<TApp> app;
    {
        std::lock_guard lock(gMutex);
        auto it = gApps.find(hLineApp);
        if (it == gApps.end()) return LINEERR_INVALAPPHANDLE;
        for (auto l = gLines.begin(); l != gLines.end();)
            l = l->second.app == hLineApp ? gLines.erase(l) : std::next(l);
        app = std::move(it->second);
        gApps.erase(it);
    }
    for (auto& d : app->devices) d->Close();  // joins the workers
    delete app->receiver;                     // drops messages not yet delivered
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD low, DWORD high,
                             DWORD* lpdwAPIVersion, LINEEXTENSIONID* lpExtensionID) {
    std::lock_guard lock(gMutex);
    TApp* app = FindApp(hLineApp);
    if (!app) return LINEERR_INVALAPPHANDLE;
    if (!lpdwAPIVersion) return LINEERR_INVALPOINTER;
    if (dwDeviceID >= app->devices.size()) return LINEERR_BADDEVICEID;
    if (lpExtensionID) *lpExtensionID = {};
    if (!app->devices[dwDeviceID]->Available() || high < TAPI_VERSION_1_4 || low > TAPI_VERSION_2_0 ||
        low > high)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    *lpdwAPIVersion = std::min(high, TAPI_VERSION_2_0);
    return 0;
}

LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD,
                    LINEDEVCAPS* caps) {
    std::lock_guard lock(gMutex);
    TApp* app = FindApp(hLineApp);
    if (!app) return LINEERR_INVALAPPHANDLE;
    if (!caps) return LINEERR_INVALPOINTER;
    if (dwDeviceID >= app->devices.size()) return LINEERR_BADDEVICEID;
    if (dwAPIVersion < TAPI_VERSION_1_4 || dwAPIVersion > TAPI_VERSION_2_0)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    const DWORD total = caps->dwTotalSize;
    if (total < sizeof(LINEDEVCAPS)) return LINEERR_STRUCTURETOOSMALL;
    std::memset(reinterpret_cast<char*>(caps) + sizeof(DWORD), 0, sizeof(LINEDEVCAPS) - sizeof(DWORD));
    TLineDevice& device = *app->devices[dwDeviceID];
    device.FillCaps(*caps);
    caps->dwPermanentLineID = dwDeviceID;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    caps->dwAddressModes = 1;
    const QByteArray name = device.Name().toLatin1() + '\0';
    caps->dwNeededSize = static_cast<DWORD>(sizeof(LINEDEVCAPS) + name.size());
    caps->dwUsedSize = sizeof(LINEDEVCAPS);
    if (caps->dwNeededSize <= total) {
        std::memcpy(reinterpret_cast<char*>(caps) + sizeof(LINEDEVCAPS), name.constData(), name.size());
        caps->dwLineNameOffset = sizeof(LINEDEVCAPS);
        caps->dwLineNameSize = static_cast<DWORD>(name.size());
        caps->dwUsedSize = caps->dwNeededSize;
    }
    return 0;
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion, DWORD,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
              const LINECALLPARAMS*) {
    std::lock_guard lock(gMutex);
    TApp* app = FindApp(hLineApp);
    if (!app) return LINEERR_INVALAPPHANDLE;
    if (!lphLine) return LINEERR_INVALPOINTER;
    if (dwDeviceID >= app->devices.size()) return LINEERR_BADDEVICEID;
    if (dwAPIVersion < TAPI_VERSION_1_4 || dwAPIVersion > TAPI_VERSION_2_0)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!(dwMediaModes & LINEMEDIAMODE_DATAMODEM)) return LINEERR_INVALPARAM;
    TLineDevice& device = *app->devices[dwDeviceID];
    const bool owner = (dwPrivileges & LINECALLPRIVILEGE_OWNER) != 0;
    const HLINE h = NewHandle();
    if (owner) {
        if (app->owners[dwDeviceID] == 0) {
            auto sink = std::make_unique<TAppSink>(app->receiver, app->callback, dwCallbackInstance);
            const LONG rc = device.Open(h, sink.get(), [] { return NewHandle(); });
            if (rc != 0) return rc;
            app->sinks.push_back(std::move(sink));
        }
        ++app->owners[dwDeviceID];
    } else if (app->owners[dwDeviceID] == 0) {
        const LONG rc = device.Probe();
        if (rc != 0) return rc;
    }
    gLines[h] = {hLineApp, dwDeviceID, owner};
    *lphLine = h;
    return 0;
}

LONG lineClose(HLINE hLine) {
    TLineDevice* toClose = nullptr;
    {
        std::lock_guard lock(gMutex);
        auto it = gLines.find(hLine);
        if (it == gLines.end()) return LINEERR_INVALLINEHANDLE;
        TApp* app = FindApp(it->second.app);
        if (app && it->second.owner && --app->owners[it->second.device] == 0)
            toClose = app->devices[it->second.device].get();
        gLines.erase(it);
        if (toClose) toClose->Close();
    }
    return 0;
}

LONG lineGetAddressStatus(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* status) {
    std::lock_guard lock(gMutex);
    TLineDevice* device = DeviceOfLine(hLine);
    if (!device) return LINEERR_INVALLINEHANDLE;
    if (!status) return LINEERR_INVALPOINTER;
    if (dwAddressID != 0) return LINEERR_INVALPARAM;
    const DWORD total = status->dwTotalSize;
    if (total < sizeof(LINEADDRESSSTATUS)) return LINEERR_STRUCTURETOOSMALL;
    *status = {};
    status->dwTotalSize = total;
    status->dwNeededSize = status->dwUsedSize = sizeof(LINEADDRESSSTATUS);
    const bool busy = device->Busy();
    status->dwNumInUse = 1;
    status->dwNumActiveCalls = busy ? 1 : 0;
    status->dwAddressFeatures = busy ? 0 : LINEADDRFEATURE_MAKECALL;
    return 0;
}

LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const QString* dest, DWORD,
                  const LINECALLPARAMS* params) {
    std::lock_guard lock(gMutex);
    auto it = gLines.find(hLine);
    if (it == gLines.end()) return LINEERR_INVALLINEHANDLE;
    if (!it->second.owner) return LINEERR_OPERATIONUNAVAIL;
    TLineDevice* device = DeviceOfLine(hLine);
    if (!device) return LINEERR_INVALLINEHANDLE;
    if (!lphCall) return LINEERR_INVALPOINTER;
    if (params && params->dwTotalSize < sizeof(LINECALLPARAMS)) return LINEERR_STRUCTURETOOSMALL;
    const bool passThrough = params && (params->dwBearerMode & LINEBEARERMODE_PASSTHROUGH);
    if (!passThrough && (!dest || dest->trimmed().isEmpty())) return LINEERR_INVALADDRESS;
    const HCALL call = NewHandle();
    const LONG rc = device->MakeCall(call, dest ? *dest : QString(), passThrough, NewRequest());
    if (rc < 0) return rc;
    *lphCall = call;
    return rc;
}

LONG lineAnswer(HCALL hCall, const char*, DWORD) {
    std::lock_guard lock(gMutex);
    TLineDevice* device = DeviceOfCall(hCall);
    return device ? device->Answer(hCall, NewRequest()) : LINEERR_INVALCALLHANDLE;
}

LONG lineDrop(HCALL hCall, const char*, DWORD) {
    std::lock_guard lock(gMutex);
    TLineDevice* device = DeviceOfCall(hCall);
    return device ? device->Drop(hCall, NewRequest()) : LINEERR_INVALCALLHANDLE;
}

LONG lineDeallocateCall(HCALL hCall) {
    std::lock_guard lock(gMutex);
    TLineDevice* device = DeviceOfCall(hCall);
    if (!device) return LINEERR_INVALCALLHANDLE;
    device->Deallocate(hCall);
    return 0;
}

LONG lineGetID(HCALL hCall, const QString& deviceClass, TCommHandlePtr* stream) {
    if (!stream) return LINEERR_INVALPOINTER;
    if (deviceClass != QStringLiteral("comm/datamodem")) return LINEERR_OPERATIONUNAVAIL;
    std::lock_guard lock(gMutex);
    TLineDevice* device = DeviceOfCall(hCall);
    if (!device) return LINEERR_INVALCALLHANDLE;
    *stream = device->Stream(hCall);
    return *stream ? 0 : LINEERR_INVALCALLSTATE;
}

LONG lineConfigDialog(DWORD dwDeviceID, QWidget* owner, const QString&) {
    TLineDevice* device = nullptr;
    std::vector<std::unique_ptr<TLineDevice>> own;
    {
        std::lock_guard lock(gMutex);
        if (!gApps.empty() && dwDeviceID < gApps.begin()->second->devices.size())
            device = gApps.begin()->second->devices[dwDeviceID].get();
    }
    if (!device) {
        own = EnumerateLineDevices();
        if (dwDeviceID >= own.size()) return LINEERR_BADDEVICEID;
        device = own[dwDeviceID].get();
    }
    device->ConfigDialog(owner);
    return 0;
}

LONG lineTranslateDialog(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, QWidget* owner,
                         const QString& addressIn) {
    {
        std::lock_guard lock(gMutex);
        TApp* app = FindApp(hLineApp);
        if (!app) return LINEERR_INVALAPPHANDLE;
        if (dwDeviceID >= app->devices.size()) return LINEERR_BADDEVICEID;
        if (dwAPIVersion < TAPI_VERSION_1_4 || dwAPIVersion > TAPI_VERSION_2_0)
            return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    TTranslateDialog dialog(addressIn, owner);
    if (RunLineDialog(dialog)) dialog.Store();
    return 0;
}

QString lineTranslateAddress(DWORD, const QString& address) {
    const TDialingSettings d = DialingSettings();
    return (d.pulse ? QStringLiteral("P") : QStringLiteral("T")) + d.outsideLinePrefix + address.trimmed();
}

LONG lineGetIcon(DWORD dwDeviceID, const QString&, HICON* lphIcon) {
    if (!lphIcon) return LINEERR_INVALPOINTER;
    static QIcon network, modem;
    bool isNetwork = false;
    {
        std::lock_guard lock(gMutex);
        if (gApps.empty()) return LINEERR_UNINITIALIZED;
        TApp* app = gApps.begin()->second.get();
        if (dwDeviceID >= app->devices.size()) return LINEERR_BADDEVICEID;
        isNetwork = dynamic_cast<TNetworkLine*>(app->devices[dwDeviceID].get()) != nullptr;
    }
    QIcon& icon = isNetwork ? network : modem;
    if (icon.isNull() && qApp)
        icon = QApplication::style()->standardIcon(isNetwork ? QStyle::SP_DriveNetIcon
                                                             : QStyle::SP_ComputerIcon);
    *lphIcon = &icon;
    return 0;
}

}  // namespace vandrex
