#pragma once
// The telephony layer: a line-device interface in the shape of the Windows
// Telephony API, so the line component keeps its calls, constants, records
// and messages. Devices:
//   0   the network line (TCP), unless VANDREX_NETWORK_LINE=off;
//   1.. Hayes modems on serial ports: the machine's ttyS (with a UART),
//       ttyUSB and ttyACM ports, or exactly the colon-separated paths of
//       VANDREX_MODEMS when that is set (empty: none).
// Messages (LINE_REPLY, LINE_CALLSTATE, LINE_CLOSE) are delivered to the
// callback through the event loop of the thread that called lineInitialize,
// never from inside the function that caused them.
//
// Results follow the API: 0 for success, a positive request ID for an
// asynchronous request (answered later by LINE_REPLY with that ID), and a
// negative LINEERR_ value for failure.

#include <cstdint>
#include <memory>
#include <new>

#include <QIcon>
#include <QString>

#include "platform/telephony/commhandle.h"

class QWidget;

namespace vandrex {

using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using LONG = std::int32_t;
using HLINEAPP = std::uint32_t;
using HLINE = std::uint32_t;
using HCALL = std::uint32_t;
using HICON = const QIcon*;  // owned by the layer; nullptr = none

// hDevice is the line (LINE_CLOSE) or call (LINE_CALLSTATE) the message is
// about; 0 for LINE_REPLY.
using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMsg, DWORD_PTR dwCallbackInstance,
                              DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

constexpr LONG LineErr(std::uint32_t v) { return static_cast<LONG>(v); }

// Result codes.
constexpr LONG LINEERR_ALLOCATED = LineErr(0x80000001);
constexpr LONG LINEERR_BADDEVICEID = LineErr(0x80000002);
constexpr LONG LINEERR_BEARERMODEUNAVAIL = LineErr(0x80000003);
constexpr LONG LINEERR_CALLUNAVAIL = LineErr(0x80000005);
constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = LineErr(0x8000000C);
constexpr LONG LINEERR_INVALADDRESS = LineErr(0x80000010);
constexpr LONG LINEERR_INVALAPPHANDLE = LineErr(0x80000015);
constexpr LONG LINEERR_INVALCALLHANDLE = LineErr(0x80000018);
constexpr LONG LINEERR_INVALCALLSTATE = LineErr(0x8000001C);
constexpr LONG LINEERR_INVALLINEHANDLE = LineErr(0x8000002B);
constexpr LONG LINEERR_INVALPARAM = LineErr(0x80000032);
constexpr LONG LINEERR_INVALPOINTER = LineErr(0x80000035);
constexpr LONG LINEERR_NODEVICE = LineErr(0x80000042);
constexpr LONG LINEERR_OPERATIONFAILED = LineErr(0x80000048);
constexpr LONG LINEERR_OPERATIONUNAVAIL = LineErr(0x80000049);
constexpr LONG LINEERR_RESOURCEUNAVAIL = LineErr(0x8000004B);
constexpr LONG LINEERR_STRUCTURETOOSMALL = LineErr(0x8000004D);
constexpr LONG LINEERR_UNINITIALIZED = LineErr(0x80000050);

// Messages.
constexpr DWORD LINE_CALLSTATE = 2;
constexpr DWORD LINE_CLOSE = 3;
constexpr DWORD LINE_REPLY = 12;

// Call states (param1 of LINE_CALLSTATE).
constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;

// Disconnect modes (param2 of LINE_CALLSTATE DISCONNECTED).
constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x0001;
constexpr DWORD LINEDISCONNECTMODE_REJECT = 0x0004;
constexpr DWORD LINEDISCONNECTMODE_BUSY = 0x0010;
constexpr DWORD LINEDISCONNECTMODE_NOANSWER = 0x0020;
constexpr DWORD LINEDISCONNECTMODE_BADADDRESS = 0x0040;
constexpr DWORD LINEDISCONNECTMODE_UNREACHABLE = 0x0080;
constexpr DWORD LINEDISCONNECTMODE_NODIALTONE = 0x1000;

constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;
constexpr DWORD LINEBEARERMODE_DATA = 0x00000008;
constexpr DWORD LINEBEARERMODE_PASSTHROUGH = 0x00000040;
constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x00000002;
constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x00000004;
constexpr DWORD LINEFEATURE_MAKECALL = 0x00000008;
constexpr DWORD LINEADDRFEATURE_MAKECALL = 0x00000002;
constexpr DWORD STRINGFORMAT_ASCII = 0x00000001;

constexpr DWORD TAPI_VERSION_1_4 = 0x00010004;
constexpr DWORD TAPI_VERSION_2_0 = 0x00020000;

struct LINEEXTENSIONID {
    DWORD dwExtensionID0 = 0, dwExtensionID1 = 0, dwExtensionID2 = 0, dwExtensionID3 = 0;
};

// Variable-size records: the fixed part below, strings after it inside the
// caller's buffer of dwTotalSize bytes (see TLineRecord).
struct LINEDEVCAPS {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwProviderInfoSize, dwProviderInfoOffset;
    DWORD dwSwitchInfoSize, dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize, dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes, dwNumAddresses;
    DWORD dwBearerModes, dwMaxRate, dwMediaModes;
    DWORD dwGenerateToneModes, dwGenerateToneMaxNumFreq, dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq, dwMonitorToneMaxNumEntries, dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout, dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize, dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize, dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags, dwMaxNumActiveCalls, dwAnswerMode, dwRingModes;
    DWORD dwLineStates, dwUUIAcceptSize, dwUUIAnswerSize, dwUUIMakeCallSize;
    DWORD dwUUIDropSize, dwUUISendUserUserInfoSize, dwUUICallInfoSize;
    DWORD dwMinDialParams[4], dwMaxDialParams[4], dwDefaultDialParams[4];
    DWORD dwNumTerminals, dwTerminalCapsSize, dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize, dwTerminalTextSize, dwTerminalTextOffset;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
    DWORD dwLineFeatures;
};

struct LINEADDRESSSTATUS {
    DWORD dwTotalSize, dwNeededSize, dwUsedSize;
    DWORD dwNumInUse, dwNumActiveCalls, dwNumOnHoldCalls, dwNumOnHoldPendCalls;
    DWORD dwAddressFeatures;
    DWORD dwNumRingsNoAnswer, dwForwardNumEntries, dwForwardSize, dwForwardOffset;
    DWORD dwTerminalModesSize, dwTerminalModesOffset;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
};

struct LINEDIALPARAMS {
    DWORD dwDialPause, dwDialSpeed, dwDigitDuration, dwWaitForDialtone;
};

struct LINECALLPARAMS {
    DWORD dwTotalSize;
    DWORD dwBearerMode, dwMinRate, dwMaxRate, dwMediaMode;
    DWORD dwCallParamFlags, dwAddressMode, dwAddressID;
    LINEDIALPARAMS DialParams;
    DWORD dwOrigAddressSize, dwOrigAddressOffset;
    DWORD dwDisplayableAddressSize, dwDisplayableAddressOffset;
    DWORD dwCalledPartySize, dwCalledPartyOffset;
    DWORD dwCommentSize, dwCommentOffset;
    DWORD dwUserUserInfoSize, dwUserUserInfoOffset;
    DWORD dwHighLevelCompSize, dwHighLevelCompOffset;
    DWORD dwLowLevelCompSize, dwLowLevelCompOffset;
    DWORD dwDevSpecificSize, dwDevSpecificOffset;
    DWORD dwPredictiveAutoTransferStates;
    DWORD dwTargetAddressSize, dwTargetAddressOffset;
    DWORD dwSendingFlowspecSize, dwSendingFlowspecOffset;
    DWORD dwReceivingFlowspecSize, dwReceivingFlowspecOffset;
    DWORD dwDeviceClassSize, dwDeviceClassOffset;
    DWORD dwDeviceConfigSize, dwDeviceConfigOffset;
    DWORD dwCallDataSize, dwCallDataOffset;
    DWORD dwNoAnswerTimeout;
    DWORD dwCallingPartyIDSize, dwCallingPartyIDOffset;
};
static_assert(sizeof(LINECALLPARAMS) == 176);

// A zero-filled buffer of Size bytes holding a record T with dwTotalSize set.
template <class T, std::size_t Size>
class TLineRecord {
public:
    static_assert(Size >= sizeof(T));
    TLineRecord() {
        record_ = new (bytes_) T{};
        record_->dwTotalSize = Size;
    }
    T* operator->() { return record_; }
    T* get() { return record_; }
    const unsigned char* bytes() const { return bytes_; }

private:
    alignas(T) unsigned char bytes_[Size]{};
    T* record_;
};
using TDevCapsBuffer = TLineRecord<LINEDEVCAPS, 1276>;
using TAddressStatusBuffer = TLineRecord<LINEADDRESSSTATUS, 1088>;

// The functions. Strings are the caller's text; dialogs are parented to owner.
LONG lineInitialize(HLINEAPP* lphLineApp, void* hInstance, LINECALLBACK lpfnCallback,
                    const QString& appName, DWORD* lpdwNumDevs);
LONG lineShutdown(HLINEAPP hLineApp);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                             LINEEXTENSIONID* lpExtensionID);
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
              DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
              DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
LONG lineClose(HLINE hLine);
LONG lineGetAddressStatus(HLINE hLine, DWORD dwAddressID, LINEADDRESSSTATUS* lpAddressStatus);
LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const QString* lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams);
LONG lineAnswer(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);
LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);
LONG lineDeallocateCall(HCALL hCall);
LONG lineConfigDialog(DWORD dwDeviceID, QWidget* owner, const QString& deviceClass);
LONG lineTranslateDialog(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, QWidget* owner,
                         const QString& addressIn);
LONG lineGetIcon(DWORD dwDeviceID, const QString& deviceClass, HICON* lphIcon);
// The call's stream for device class "comm/datamodem" (the API's lineGetID);
// available from CONNECTED on.
LONG lineGetID(HCALL hCall, const QString& deviceClass, TCommHandlePtr* stream);

// The dialling text a modem device sends for a number: outside-line prefix
// and the number as entered in the dialling-location dialog's settings.
QString lineTranslateAddress(DWORD dwDeviceID, const QString& address);

}  // namespace vandrex
