#include "telephony/dataphone.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace vandrex {

using namespace dataphone;
using TKind = TDataPhoneEvent::TKind;

struct TDataPhone::TTransfer {
    bool sending = false;
    TTransferKind kind = TTransferKind::File;
    TStep step = TStep::RequestAck;
    std::unique_ptr<TTransferSource> source;
    bool sinkOpen = false;
    std::int64_t announced = 0;   // file size; pictures have none
    std::int64_t done = 0;        // bytes sent or received
    std::int64_t elapsedMs = 0;   // time spent reading blocks (file on the sending side, stream on the receiving side)
    std::int64_t stepStarted = 0;
    std::int64_t blockLength = 0;
    std::size_t lastLength = 0;
    bool anyBlock = false;
    bool zeroSent = false;
    bool mayEndHere = false;      // a picture after a full block: no further header ends it
    std::string name;
    // Lamps and buttons as they were before the transfer, put back if it fails.
    std::array<TLampState, kLampCount> lampsBefore{};
    bool sendEnabledBefore = true;
    bool snapshotEnabledBefore = true;
};

namespace {

bool IsPrefixOf(std::string_view part, std::string_view whole) {
    return part.size() <= whole.size() && whole.substr(0, part.size()) == part;
}

constexpr std::string_view kChatEnders[] = {kChatPrefix, kPictureRequestPrefix, kFileRequestPrefix};
constexpr std::string_view kIdleElements[] = {kChatPrefix, kPictureRequestPrefix, kFileRequestPrefix,
                                              kPictureHeaderPrefix, kFileHeaderPrefix};

// A control line for a message: the text up to its NUL, without its line end.
std::string Shown(std::string_view line) {
    line = CutAtNul(line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
}

}  // namespace

TDataPhone::TDataPhone(TTransferSink& sink, TClock clock) : sink_(sink), clock_(std::move(clock)) {}

TDataPhone::~TDataPhone() {
    if (transfer_ && transfer_->sinkOpen) sink_.Abort();
}

// --- Events and the view ----------------------------------------------------

void TDataPhone::Emit(TKind kind, std::string text, std::int64_t bytes) {
    TDataPhoneEvent event{kind, std::move(text), bytes, TLamp::Send};
    events_.push_back(std::move(event));
}

void TDataPhone::SetLamp(TLamp lamp, bool lit, TLampColor color) {
    auto& state = view_.Lamps[static_cast<int>(lamp)];
    TLampState next{lit, lit ? color : state.Color};
    if (state == next) return;
    state = next;
    TDataPhoneEvent event{TKind::LampChanged, {}, 0, lamp};
    events_.push_back(event);
}

void TDataPhone::SetLampOff(TLamp lamp) { SetLamp(lamp, false, TLampColor::Red); }

void TDataPhone::SetPanel0(std::string text) {
    view_.Panel0 = std::move(text);
    Emit(TKind::Panel0Changed, view_.Panel0);
}

void TDataPhone::SetButtons(bool send, bool snapshot) {
    if (view_.SendButtonEnabled == send && view_.SnapshotButtonEnabled == snapshot) return;
    view_.SendButtonEnabled = send;
    view_.SnapshotButtonEnabled = snapshot;
    Emit(TKind::ButtonsChanged);
}

void TDataPhone::SetProgress(std::int64_t max, std::int64_t position, std::string status) {
    view_.ProgressMax = max;
    view_.ProgressPosition = position;
    view_.FileTransferStatus = std::move(status);
    Emit(TKind::ProgressChanged);
}

std::string TDataPhone::TakeOutput() { return std::exchange(out_, {}); }

std::vector<TDataPhoneEvent> TDataPhone::TakeEvents() { return std::exchange(events_, {}); }

// --- The call ---------------------------------------------------------------

void TDataPhone::SetConnected(bool connected) {
    if (connected == connected_) return;
    if (!connected) {
        if (idle_ == TIdle::Chat && !transfer_) EndChatLine();
        if (transfer_) Fail("Connection lost - transfer failed.");
        in_.clear();
        pos_ = 0;
        idle_ = TIdle::Hunt;
        elementStarted_ = -1;
        queuedChats_.clear();
        out_.clear();
        if (announced_) {
            announced_.reset();
            SetLampOff(TLamp::Receive);
        }
        SetLampOff(TLamp::Send);
    }
    connected_ = connected;
}

// --- Commands ---------------------------------------------------------------

void TDataPhone::WriteChat(std::string_view text) {
    std::string line = ChatLine(text);
    out_ += line;
    view_.Counters.BytesOutTotal += static_cast<std::int64_t>(line.size());
    // The write is only queued here, so it takes no measurable time: u(0).
    view_.Counters.TimeOutTotal += TimeUnits(0);
    CountersChanged();
    Emit(TKind::ChatSent, std::string(text));
}

bool TDataPhone::SendChat(std::string_view text) {
    if (!connected_) return false;
    if (transfer_)
        queuedChats_.emplace_back(text);
    else
        WriteChat(text);
    return true;
}

void TDataPhone::FlushQueuedChats() {
    while (!queuedChats_.empty() && !transfer_ && connected_) {
        WriteChat(queuedChats_.front());
        queuedChats_.pop_front();
    }
}

void TDataPhone::StartTransfer(std::unique_ptr<TTransfer> transfer) {
    // A chat line that was still open ends before the transfer takes the stream.
    if (idle_ == TIdle::Chat) EndChatLine();
    idle_ = TIdle::Hunt;
    elementStarted_ = -1;
    transfer->lampsBefore = view_.Lamps;
    transfer->sendEnabledBefore = view_.SendButtonEnabled;
    transfer->snapshotEnabledBefore = view_.SnapshotButtonEnabled;
    transfer->stepStarted = Now();
    transfer_ = std::move(transfer);
}

bool TDataPhone::SendPicture(std::unique_ptr<TTransferSource> picture) {
    if (!connected_ || transfer_ || !picture) return false;
    auto t = std::make_unique<TTransfer>();
    t->sending = true;
    t->kind = TTransferKind::Picture;
    t->source = std::move(picture);
    t->step = TStep::RequestAck;
    StartTransfer(std::move(t));
    SetButtons(false, view_.SnapshotButtonEnabled);
    SetLamp(TLamp::SendJPEG, true, TLampColor::Red);
    out_ += PictureRequest();
    Process();
    return true;
}

bool TDataPhone::SendFile(std::string_view wireName, std::int64_t size,
                          std::unique_ptr<TTransferSource> file) {
    if (!connected_ || transfer_ || !file || size < 0) return false;
    auto t = std::make_unique<TTransfer>();
    t->sending = true;
    t->kind = TTransferKind::File;
    t->source = std::move(file);
    t->announced = size;
    t->name = WireName(wireName);
    t->step = TStep::RequestAck;
    StartTransfer(std::move(t));
    SetLamp(TLamp::Send, true, TLampColor::Red);
    SetButtons(view_.SendButtonEnabled, false);
    SetProgress(size, 0, "0");
    out_ += FileRequest(transfer_->name, size);
    Process();
    return true;
}

bool TDataPhone::AcceptFile() {
    if (!connected_ || transfer_ || !announced_) return false;
    auto request = *announced_;
    announced_.reset();
    auto t = std::make_unique<TTransfer>();
    t->kind = TTransferKind::File;
    t->announced = request.size;
    t->name = request.name;
    t->step = TStep::Header;
    StartTransfer(std::move(t));
    // The announcement is used up whatever happens to the transfer.
    transfer_->lampsBefore[static_cast<int>(TLamp::Receive)].Lit = false;
    SetButtons(view_.SendButtonEnabled, false);
    out_ += RequestAck(TTransferKind::File);
    try {
        sink_.Begin(TTransferKind::File, request.name, request.size);
        transfer_->sinkOpen = true;
    } catch (const std::exception& e) {
        Fail(e.what());
        return true;
    }
    SetProgress(request.size, 0, "0");
    // An empty file is complete before any block: a sender that ends with a
    // 0-length block gets it acknowledged as a late one.
    if (request.size == 0) {
        FinishReceiving();
        return true;
    }
    Process();
    return true;
}

// --- Incoming bytes ---------------------------------------------------------

void TDataPhone::Feed(std::string_view bytes) {
    if (!connected_ || bytes.empty()) return;
    in_.append(bytes);
    lastInput_ = Now();
    Process();
}

void TDataPhone::Consume(std::size_t n) {
    pos_ += n;
    if (pos_ >= in_.size()) {
        in_.clear();
        pos_ = 0;
    } else if (pos_ > 65536) {
        in_.erase(0, pos_);
        pos_ = 0;
    }
}

void TDataPhone::Process() {
    for (;;) {
        bool progressed = transfer_ ? ProcessTransfer() : ProcessIdle();
        if (!progressed) break;
    }
}

bool TDataPhone::ProcessIdle() {
    switch (idle_) {
        case TIdle::Chat:
            return ProcessChat();
        case TIdle::Hunt:
            return ProcessHunt();
        case TIdle::Drain:
            if (Pending().empty()) return false;
            discarded_ += static_cast<std::int64_t>(Pending().size());
            Consume(Pending().size());
            return false;
    }
    return false;
}

void TDataPhone::AddChatText(std::string_view bytes) {
    if (chatCut_) return;
    auto nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
        bytes = bytes.substr(0, nul);
        chatCut_ = true;
    }
    chat_.append(bytes);
    // A peer that never ends its line still gets it shown, in pieces.
    while (chat_.size() >= kMaxChatLine) {
        std::string rest = chat_.substr(kMaxChatLine);
        chat_.resize(kMaxChatLine);
        bool cut = chatCut_;
        EndChatLine();
        idle_ = TIdle::Chat;
        chatPrefixCounted_ = true;
        chatCut_ = cut;
        chat_ = std::move(rest);
    }
}

void TDataPhone::EndChatLine() {
    auto bytes = static_cast<std::int64_t>(chat_.size()) +
                 (chatPrefixCounted_ ? 0 : static_cast<std::int64_t>(kChatPrefix.size()));
    view_.Counters.BytesInTotal += bytes;
    view_.Counters.TimeInTotal += TimeUnits(std::max<std::int64_t>(0, lastInput_ - chatStarted_));
    CountersChanged();
    Emit(TKind::ChatReceived, std::exchange(chat_, {}), bytes);
    chatCut_ = false;
    chatPrefixCounted_ = false;
    idle_ = TIdle::Hunt;
}

bool TDataPhone::ProcessChat() {
    std::string_view pending = Pending();
    if (pending.empty()) return false;
    std::size_t end = std::string_view::npos;
    for (auto ender : kChatEnders) end = std::min(end, pending.find(ender));
    if (end != std::string_view::npos) {
        AddChatText(pending.substr(0, end));
        Consume(end);
        EndChatLine();
        return true;
    }
    // Hold back a tail that may be the start of the next element.
    std::size_t keep = 0;
    for (std::size_t n = std::min<std::size_t>(pending.size(), 8); n > 0 && keep == 0; --n)
        for (auto ender : kChatEnders)
            if (IsPrefixOf(pending.substr(pending.size() - n), ender)) keep = n;
    AddChatText(pending.substr(0, pending.size() - keep));
    Consume(pending.size() - keep);
    return false;
}

bool TDataPhone::ProcessHunt() {
    std::string_view pending = Pending();
    if (pending.empty()) return false;
    // Skip to the first byte that can start an element.
    auto start = pending.find_first_of("CsJF");
    if (start == std::string_view::npos) start = pending.size();
    if (start > 0) {
        discarded_ += static_cast<std::int64_t>(start);
        Consume(start);
        elementStarted_ = -1;
        return true;
    }
    std::string_view element;
    bool partial = false;
    for (auto candidate : kIdleElements) {
        if (IsPrefixOf(candidate, pending)) element = candidate;
        else if (IsPrefixOf(pending, candidate)) partial = true;
    }
    if (element.empty()) {
        if (partial) {
            if (elementStarted_ < 0) elementStarted_ = lastInput_;
            return false;
        }
        ++discarded_;
        Consume(1);
        elementStarted_ = -1;
        return true;
    }
    if (element == kChatPrefix) {
        Consume(kChatPrefix.size());
        idle_ = TIdle::Chat;
        chatStarted_ = lastInput_;
        elementStarted_ = -1;
        return true;
    }
    if (element == kPictureHeaderPrefix || element == kFileHeaderPrefix) {
        if (pending.size() < kControlLineSize) {
            if (elementStarted_ < 0) elementStarted_ = lastInput_;
            return false;
        }
        // A 0-length block after a transfer that already ended by its size or
        // by quiet: the sender waits for its acknowledgement.
        auto length = ParseBlockLength(pending.substr(0, kControlLineSize));
        if (length && *length == 0)
            out_ += BlockAck(element == kPictureHeaderPrefix ? TTransferKind::Picture
                                                             : TTransferKind::File);
        else
            discarded_ += static_cast<std::int64_t>(kControlLineSize);
        Consume(kControlLineSize);
        elementStarted_ = -1;
        return true;
    }
    // A request, framed by its CR LF.
    auto crlf = pending.find(kLineEnd);
    if (crlf == std::string_view::npos || crlf + 2 > kMaxRequestLine) {
        if (pending.size() >= kMaxRequestLine) {
            SetPanel0("Request line too long - ignored.");
            discarded_ += static_cast<std::int64_t>(element.size());
            Consume(element.size());
            elementStarted_ = -1;
            return true;
        }
        if (elementStarted_ < 0) elementStarted_ = lastInput_;
        return false;
    }
    std::string line(pending.substr(0, crlf + 2));
    Consume(crlf + 2);
    elementStarted_ = -1;
    OnRequest(line);
    return true;
}

void TDataPhone::OnRequest(std::string_view line) {
    if (IsPrefixOf(kPictureRequestPrefix, line)) {
        // A picture comes in at once; a file still announced was given up by its sender.
        if (announced_) {
            announced_.reset();
            SetLampOff(TLamp::Receive);
        }
        auto t = std::make_unique<TTransfer>();
        t->kind = TTransferKind::Picture;
        t->name = std::string(kPictureName);
        t->step = TStep::Header;
        StartTransfer(std::move(t));
        SetButtons(false, view_.SnapshotButtonEnabled);
        SetLamp(TLamp::SendJPEG, true, TLampColor::Yellow);
        out_ += RequestAck(TTransferKind::Picture);
        try {
            sink_.Begin(TTransferKind::Picture, std::string(kPictureName), 0);
            transfer_->sinkOpen = true;
        } catch (const std::exception& e) {
            Fail(e.what());
        }
        return;
    }
    auto request = ParseFileRequest(line);
    if (!request) {
        SetPanel0("Bad file request \"" + Shown(line) + "\" - ignored.");
        Emit(TKind::TransferFailed, view_.Panel0);
        return;
    }
    announced_ = *request;
    SetLampOff(TLamp::Resume);
    SetLamp(TLamp::Receive, true, TLampColor::Red);
    SetPanel0("New Datafile is Coming in [Receive ?]");
    Emit(TKind::FileAnnounced, request->name, request->size);
}

// --- Transfers --------------------------------------------------------------

bool TDataPhone::ProcessTransfer() {
    auto& t = *transfer_;
    if (t.sending) return ProcessSenderReply();
    return t.step == TStep::Header ? ProcessHeader() : ProcessData();
}

bool TDataPhone::ProcessSenderReply() {
    auto& t = *transfer_;
    if (Pending().size() < kControlLineSize) return false;
    std::string reply(CutAtNul(Pending().substr(0, kControlLineSize)));
    Consume(kControlLineSize);
    bool request = t.step == TStep::RequestAck;
    std::string expected = request ? RequestAck(t.kind) : BlockAck(t.kind);
    if (reply != expected) {
        ++wrongAcks_;
        std::string_view suffix;
        if (t.kind == TTransferKind::Picture)
            suffix = request ? " - Bad JPEGFile Response." : " Bad JPEG Length Response.";
        else
            suffix = request ? " Bad SendFile Response." : " Bad File Length Response.";
        SetPanel0(reply + std::string(suffix));
        Emit(TKind::WrongAcknowledgement, reply);
    }
    if (!request && t.zeroSent) {
        FinishSending();
        return true;
    }
    SendNextBlock();
    return true;
}

void TDataPhone::SendNextBlock() {
    auto& t = *transfer_;
    const std::size_t full = BlockSize(t.kind);
    std::size_t want = full;
    if (t.kind == TTransferKind::File)
        want = static_cast<std::size_t>(std::min<std::int64_t>(full, t.announced - t.done));
    if (t.kind == TTransferKind::File) SetLamp(TLamp::Receive, true, TLampColor::Yellow);
    std::string block(want, '\0');
    std::size_t got = 0;
    if (want > 0) {
        auto before = Now();
        try {
            got = t.source->Read(block.data(), want);
        } catch (const std::exception& e) {
            Fail(e.what(), false);
            return;
        }
        t.elapsedMs += Now() - before;
        block.resize(std::min(got, want));
        got = block.size();
    }
    if (got == 0) {
        // An exact multiple of the block size (or nothing at all) ends with a
        // 0-length block, so the receiver need not guess where the item ends.
        if (!t.anyBlock || t.lastLength == full) {
            t.zeroSent = true;
            t.step = TStep::BlockAck;
            t.stepStarted = Now();
            out_ += BlockHeader(t.kind, 0);
            return;
        }
        FinishSending();
        return;
    }
    out_ += BlockHeader(t.kind, got);
    out_ += block;
    t.anyBlock = true;
    t.lastLength = got;
    t.done += static_cast<std::int64_t>(got);
    view_.Counters.BytesOutTotal += static_cast<std::int64_t>(got);
    view_.Counters.TimeOutTotal += TimeUnits(t.elapsedMs);
    if (t.kind == TTransferKind::File) {
        SetPanel0(std::to_string(t.done) + " Bytes Send");
        SetProgress(t.announced, t.done, std::to_string(t.done));
    }
    CountersChanged();
    t.step = TStep::BlockAck;
    t.stepStarted = Now();
}

void TDataPhone::FinishSending() {
    auto t = std::move(transfer_);
    t->source.reset();
    if (t->kind == TTransferKind::Picture) {
        SetButtons(true, view_.SnapshotButtonEnabled);
        SetLampOff(TLamp::SendJPEG);
        view_.Counters.PicturesOutCount += 1;
        CountersChanged();
        Emit(TKind::PictureSent, {}, t->done);
    } else {
        SetProgress(t->announced, 0, view_.FileTransferStatus);
        view_.Counters.FilesOutCount += 1;
        CountersChanged();
        SetLamp(TLamp::Receive, true, TLampColor::Green);
        SetPanel0(std::to_string(t->done) + " Bytes Send Succesfully");
        SetLampOff(TLamp::Receive);
        SetButtons(view_.SendButtonEnabled, true);
        Emit(TKind::FileSent, t->name, t->done);
    }
    EndTransfer();
}

bool TDataPhone::ProcessHeader() {
    auto& t = *transfer_;
    std::string_view pending = Pending();
    if (t.mayEndHere && !pending.empty() &&
        !IsPrefixOf(pending.substr(0, std::min(pending.size(), kPictureHeaderPrefix.size())),
                    kPictureHeaderPrefix)) {
        // Something other than a header follows the last full block: the
        // picture is complete and these bytes are the next element.
        FinishReceiving();
        return true;
    }
    if (pending.size() < kControlLineSize) return false;
    std::string header(pending.substr(0, kControlLineSize));
    Consume(kControlLineSize);
    t.mayEndHere = false;
    auto length = ParseBlockLength(header);
    const auto full = static_cast<std::int64_t>(BlockSize(t.kind));
    if (!length) {
        Fail("Bad block header \"" + Shown(header) + "\" - transfer ended.");
        return true;
    }
    if (*length > full) {
        Fail("Block of " + std::to_string(*length) + " bytes announced, at most " +
             std::to_string(full) + " allowed - transfer ended.");
        return true;
    }
    if (t.kind == TTransferKind::File && t.done + *length > t.announced) {
        Fail("File grows past its announced size of " + std::to_string(t.announced) +
             " bytes - transfer ended.");
        return true;
    }
    if (t.kind == TTransferKind::Picture && t.done + *length > kMaxPictureBytes) {
        Fail("Picture larger than 16 MB - transfer ended.");
        return true;
    }
    if (*length == 0) {
        out_ += BlockAck(t.kind);
        EndOfItem();
        return true;
    }
    t.blockLength = *length;
    t.step = TStep::Data;
    t.stepStarted = Now();
    return true;
}

bool TDataPhone::ProcessData() {
    auto& t = *transfer_;
    const auto length = static_cast<std::size_t>(t.blockLength);
    if (Pending().size() < length) return false;
    try {
        sink_.Append(Pending().substr(0, length));
    } catch (const std::exception& e) {
        Consume(length);
        Fail(e.what());
        return true;
    }
    Consume(length);
    t.elapsedMs += Now() - t.stepStarted;
    t.done += t.blockLength;
    out_ += BlockAck(t.kind);
    const auto full = static_cast<std::int64_t>(BlockSize(t.kind));
    if (t.blockLength != full) {
        // The short block ends the item; it is kept but not counted.
        EndOfItem();
        return true;
    }
    view_.Counters.BytesInTotal += t.blockLength;
    view_.Counters.TimeInTotal += TimeUnits(t.elapsedMs);
    if (t.kind == TTransferKind::File) {
        SetLamp(TLamp::Receive, true, TLampColor::Yellow);
        SetPanel0(std::to_string(t.done) + " Bytes Received " + " - Time elapsed: " +
                  std::to_string(t.elapsedMs) + " ml.sec.");
        SetProgress(t.announced, t.done, std::to_string(t.done));
    }
    CountersChanged();
    if (t.kind == TTransferKind::File && t.done == t.announced) {
        // The announced size arrived in full blocks; a 0-length block that
        // may still follow is acknowledged as a late one.
        FinishReceiving();
        return true;
    }
    t.step = TStep::Header;
    t.stepStarted = Now();
    t.mayEndHere = t.kind == TTransferKind::Picture;
    return true;
}

void TDataPhone::EndOfItem() {
    auto& t = *transfer_;
    if (t.kind == TTransferKind::File && t.done != t.announced) {
        Fail("File ended after " + std::to_string(t.done) + " of " + std::to_string(t.announced) +
                 " bytes - transfer failed.",
             false);
        return;
    }
    FinishReceiving();
}

void TDataPhone::FinishReceiving() {
    auto& t = *transfer_;
    std::string stored;
    try {
        t.sinkOpen = false;
        stored = sink_.Commit();
    } catch (const std::exception& e) {
        t.sinkOpen = true;
        Fail(e.what(), false);
        return;
    }
    auto done = std::move(transfer_);
    if (done->kind == TTransferKind::Picture) {
        SetButtons(true, view_.SnapshotButtonEnabled);
        SetLampOff(TLamp::SendJPEG);
        view_.Counters.PicturesInCount += 1;
        CountersChanged();
        Emit(TKind::PictureReceived, stored, done->done);
    } else {
        SetLamp(TLamp::Receive, true, TLampColor::Green);
        SetProgress(done->announced, 0, view_.FileTransferStatus);
        view_.Counters.FilesInCount += 1;
        CountersChanged();
        SetPanel0(std::to_string(done->announced) + " Bytes Received Succesfully " +
                  " - Time elapsed: " + std::to_string(done->elapsedMs) + " ml.sec.");
        SetLampOff(TLamp::Receive);
        SetButtons(view_.SendButtonEnabled, true);
        Emit(TKind::FileReceived, stored, done->done);
    }
    EndTransfer();
}

void TDataPhone::Fail(const std::string& why, bool drain) {
    auto t = std::move(transfer_);
    if (!t) return;
    if (t->sinkOpen) sink_.Abort();
    t->source.reset();
    for (int i = 0; i < kLampCount; ++i) {
        const auto& before = t->lampsBefore[i];
        SetLamp(static_cast<TLamp>(i), before.Lit, before.Color);
    }
    SetButtons(t->sendEnabledBefore, t->snapshotEnabledBefore);
    if (t->kind == TTransferKind::File) SetProgress(view_.ProgressMax, 0, view_.FileTransferStatus);
    SetPanel0(why);
    Emit(TKind::TransferFailed, why);
    if (drain) {
        // What is waiting belongs to the failed transfer; so does whatever the
        // peer still sends before it falls quiet.
        discarded_ += static_cast<std::int64_t>(Pending().size());
        in_.clear();
        pos_ = 0;
        idle_ = TIdle::Drain;
    }
    EndTransfer();
}

void TDataPhone::EndTransfer() { FlushQueuedChats(); }

// --- Time -------------------------------------------------------------------

std::optional<std::int64_t> TDataPhone::NextDeadline() const {
    std::optional<std::int64_t> next;
    auto consider = [&](std::int64_t at) {
        if (!next || at < *next) next = at;
    };
    if (transfer_) {
        consider(transfer_->stepStarted + timeoutMs_);
        if (transfer_->mayEndHere) consider(transfer_->stepStarted + kPictureEndQuietMs);
        return next;
    }
    if (idle_ == TIdle::Chat || idle_ == TIdle::Drain) consider(lastInput_ + kChatQuietMs);
    if (elementStarted_ >= 0) consider(elementStarted_ + timeoutMs_);
    return next;
}

void TDataPhone::Tick() {
    const auto now = Now();
    if (transfer_) {
        auto& t = *transfer_;
        if (t.mayEndHere && Pending().empty() && now - t.stepStarted >= kPictureEndQuietMs) {
            FinishReceiving();
        } else if (now - t.stepStarted >= timeoutMs_) {
            Fail("Timeout during read operation.", !t.sending);
        }
        Process();
        return;
    }
    if (idle_ == TIdle::Chat && now - lastInput_ >= kChatQuietMs) {
        // Quiet ends the line, including a tail held back as a possible keyword.
        AddChatText(Pending());
        Consume(Pending().size());
        EndChatLine();
    } else if (idle_ == TIdle::Drain && now - lastInput_ >= kChatQuietMs) {
        idle_ = TIdle::Hunt;
    }
    if (idle_ == TIdle::Hunt && elementStarted_ >= 0 && now - elementStarted_ >= timeoutMs_) {
        // An element that never completed: drop its first byte and look again.
        ++discarded_;
        Consume(1);
        elementStarted_ = -1;
    }
    Process();
}

}  // namespace vandrex
