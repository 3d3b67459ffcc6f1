#pragma once
// TDataPhone: both ends of the data-phone protocol as a state machine without
// I/O. The owner feeds it the bytes that arrive (Feed), the passing of time
// (Tick, at NextDeadline or more often), the user's commands (SendChat,
// SendPicture, SendFile, AcceptFile) and the state of the call
// (SetConnected); it hands back the bytes to write (TakeOutput), the events
// to show (TakeEvents) and the state of the lamps, buttons, progress, panel
// texts and counters (View).
//
// One transfer at a time owns the stream: while a picture or file goes out or
// comes in, every arriving byte belongs to it, further sends are refused and
// chats typed meanwhile wait until it has ended. Outside a transfer arriving
// bytes are framed into chat lines and requests:
//   - a chat line runs until the next "Chat:", "sendJPEG:" or "sendFILE:",
//     kChatQuietMs of quiet, or hang-up;
//   - a request runs to its CR LF (at most kMaxRequestLine bytes);
//   - anything else is discarded, and a late 0-length block header is
//     acknowledged.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controls/lampcolor.h"
#include "telephony/dataphonewire.h"

namespace vandrex {

// The five lamps of the phone group, in this order: LED_Send, LED_Receive,
// LED_Stop, LED_Resume, LED_SendJPEG.
enum class TLamp { Send, Receive, Stop, Resume, SendJPEG };
inline constexpr int kLampCount = 5;

struct TLampState {
    bool Lit = false;
    TLampColor Color = TLampColor::Red;
    bool operator==(const TLampState&) const = default;
};

struct TDataPhoneCounters {
    std::int64_t BytesInTotal = 0;
    std::int64_t BytesOutTotal = 0;
    std::int64_t FilesInCount = 0;
    std::int64_t FilesOutCount = 0;
    std::int64_t TimeInTotal = 0;
    std::int64_t TimeOutTotal = 0;
    std::int64_t PicturesInCount = 0;
    std::int64_t PicturesOutCount = 0;
    bool operator==(const TDataPhoneCounters&) const = default;
};

// What the phone group shows; texts are on the wire's code page.
struct TDataPhoneView {
    std::array<TLampState, kLampCount> Lamps{};
    bool SendButtonEnabled = true;      // SpeedButtonSend
    bool SnapshotButtonEnabled = true;  // ZozadiFotoBtn1
    std::string Panel0;                 // panel 0 of ConnectStatus
    std::int64_t ProgressMax = 0;       // FileTransferProgressBar (min is 0)
    std::int64_t ProgressPosition = 0;
    std::string FileTransferStatus;     // FileTransferStatusBar
    TDataPhoneCounters Counters;

    const TLampState& Lamp(TLamp lamp) const { return Lamps[static_cast<int>(lamp)]; }
};

struct TDataPhoneEvent {
    enum class TKind {
        ChatReceived,      // Text: the memo line
        ChatSent,          // Text: the text after "Chat:"
        FileAnnounced,     // Text: the peer's name (cut), Bytes: announced size
        PictureReceived,   // Text: stored name, Bytes: size
        FileReceived,      // Text: stored name, Bytes: size
        PictureSent,       // Bytes: size
        FileSent,          // Text: the name as it went on the wire, Bytes: size
        WrongAcknowledgement,  // Text: the reply as it came
        TransferFailed,    // Text: why; nothing of the transfer was counted or kept
        Panel0Changed,     // Text: new panel 0 text
        LampChanged,       // Lamp: which (state in View)
        CountersChanged,
        ProgressChanged,   // progress bar or FileTransferStatusBar
        ButtonsChanged,
    };
    TKind Kind;
    std::string Text;
    std::int64_t Bytes = 0;
    TLamp Lamp = TLamp::Send;
};

// Where outgoing picture and file bytes come from. Read fills up to max bytes
// and returns fewer only at the end; failures throw (EInOutError).
class TTransferSource {
public:
    virtual ~TTransferSource() = default;
    virtual std::size_t Read(char* buffer, std::size_t max) = 0;
};

// Where incoming pictures and files go. Begin starts an item under the peer's
// name (already cut, not yet made safe; "Snapshot.jpg" for pictures), Append
// adds a block, Commit makes the complete item visible and returns the name
// it was stored under, Abort drops it leaving whatever was there before.
// Begin, Append and Commit throw on failure with a message for the user.
class TTransferSink {
public:
    virtual ~TTransferSink() = default;
    virtual void Begin(TTransferKind kind, const std::string& peerName,
                       std::int64_t announcedSize) = 0;
    virtual void Append(std::string_view bytes) = 0;
    virtual std::string Commit() = 0;
    virtual void Abort() noexcept = 0;
};

class TDataPhone {
public:
    using TClock = std::function<std::int64_t()>;  // monotonic milliseconds

    static constexpr std::int64_t kChatQuietMs = 300;      // ends a chat line
    static constexpr std::int64_t kPictureEndQuietMs = 2000;  // ends a picture after a full block
    static constexpr std::size_t kMaxChatLine = 4096;      // a longer chat is shown in pieces

    TDataPhone(TTransferSink& sink, TClock clock);
    ~TDataPhone();
    TDataPhone(const TDataPhone&) = delete;
    TDataPhone& operator=(const TDataPhone&) = delete;

    // Limit for one expected element (acknowledgement, header, block data),
    // the stream's read time-out.
    void SetTimeoutSeconds(int seconds) { timeoutMs_ = std::int64_t{seconds} * 1000; }

    // The call: a drop ends any transfer at once as failed, forgets what was
    // waiting and puts out LED_Send, which a sent file leaves lit until then.
    void SetConnected(bool connected);
    bool Connected() const { return connected_; }

    // The phone's clock, in which NextDeadline is given.
    std::int64_t Now() const { return clock_(); }

    void Feed(std::string_view bytes);
    void Tick();
    // When Tick has something to do next (absolute clock time), if anything.
    std::optional<std::int64_t> NextDeadline() const;

    // The "+" button: sends "Chat:" + text now, or after the running transfer.
    // False when not connected.
    bool SendChat(std::string_view text);
    // The snapshot's sending part. False (and nothing sent) when not connected
    // or while a transfer runs.
    bool SendPicture(std::unique_ptr<TTransferSource> picture);
    // "Send": wireName is the file's name without folder on the wire's code
    // page. False when not connected or while a transfer runs.
    bool SendFile(std::string_view wireName, std::int64_t size,
                  std::unique_ptr<TTransferSource> file);
    // "Receive": accepts the announced file. False when none is announced or a
    // transfer runs.
    bool AcceptFile();

    // For the window's own lamp steps (Stop, Resume), so View stays the one
    // record of what the lamps show.
    void ShowLamp(TLamp lamp, bool lit, TLampColor color = TLampColor::Red) { SetLamp(lamp, lit, color); }

    // The main window's activation sets the eight counters to zero.
    void ResetCounters() {
        view_.Counters = {};
        CountersChanged();
    }

    bool Busy() const { return transfer_ != nullptr; }
    bool FileAnnounced() const { return announced_.has_value(); }
    std::int64_t WrongAcknowledgements() const { return wrongAcks_; }
    std::int64_t DiscardedBytes() const { return discarded_; }

    std::string TakeOutput();
    std::vector<TDataPhoneEvent> TakeEvents();
    const TDataPhoneView& View() const { return view_; }

private:
    enum class TIdle { Hunt, Chat, Drain };
    enum class TStep { RequestAck, BlockAck, Header, Data };
    struct TTransfer;

    std::string_view Pending() const { return std::string_view(in_).substr(pos_); }
    void Consume(std::size_t n);
    void Process();
    bool ProcessIdle();
    bool ProcessChat();
    bool ProcessHunt();
    bool ProcessTransfer();
    bool ProcessSenderReply();
    bool ProcessHeader();
    bool ProcessData();

    void AddChatText(std::string_view bytes);
    void EndChatLine();
    void OnRequest(std::string_view line);

    void StartTransfer(std::unique_ptr<TTransfer> transfer);
    void SendNextBlock();
    void FinishSending();
    void EndOfItem();  // the sender marked the end: complete only when the size is right
    void FinishReceiving();
    // Ends the running transfer as failed. drain: the peer may still be
    // sending its blocks, so what arrives until it falls quiet is dropped.
    void Fail(const std::string& why, bool drain = true);
    void EndTransfer();
    void FlushQueuedChats();
    void WriteChat(std::string_view text);

    void Emit(TDataPhoneEvent::TKind kind, std::string text = {}, std::int64_t bytes = 0);
    void SetLamp(TLamp lamp, bool lit, TLampColor color);
    void SetLampOff(TLamp lamp);
    void SetPanel0(std::string text);
    void SetButtons(bool send, bool snapshot);
    void SetProgress(std::int64_t max, std::int64_t position, std::string status);
    void CountersChanged() { Emit(TDataPhoneEvent::TKind::CountersChanged); }

    TTransferSink& sink_;
    TClock clock_;
    std::int64_t timeoutMs_ = 60000;
    bool connected_ = false;

    std::string in_;
    std::size_t pos_ = 0;
    std::int64_t lastInput_ = 0;

    TIdle idle_ = TIdle::Hunt;
    std::string chat_;
    bool chatCut_ = false;            // a NUL ended the text; the rest of the line is dropped
    bool chatPrefixCounted_ = false;  // "Chat:" already counted for a long line shown in pieces
    std::int64_t chatStarted_ = 0;
    std::int64_t elementStarted_ = -1;  // an unfinished request or stray header began here

    std::optional<dataphone::TFileRequest> announced_;
    std::unique_ptr<TTransfer> transfer_;
    std::deque<std::string> queuedChats_;

    std::string out_;
    std::vector<TDataPhoneEvent> events_;
    TDataPhoneView view_;
    std::int64_t wrongAcks_ = 0;
    std::int64_t discarded_ = 0;
};

}  // namespace vandrex
