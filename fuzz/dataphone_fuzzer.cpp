// Fuzzes the data phone's framing and parsing: arbitrary peer bytes, cut
// into arbitrary pieces and interleaved with the passing of time and the
// user's commands, must never crash, overrun, hang, store more than a block
// at a time, store an item larger than announced, or produce an unsafe name.
//
// Input layout: the first byte holds flags; then a sequence of records
// [control byte][payload...]: the control byte's low 6 bits give the payload
// length (0..63); its top 2 bits choose what follows the feed: nothing, a
// tick of 0.1 s to 3 s, "Receive", or a command (chat / picture / file).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "telephony/dataphone.h"

using namespace vandrex;
using namespace vandrex::dataphone;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

class TCheckingSink : public TTransferSink {
public:
    void Begin(TTransferKind kind, const std::string& name, std::int64_t announced) override {
        Check(!open_);
        open_ = true;
        kind_ = kind;
        announced_ = announced;
        size_ = 0;
        Check(name.find_first_of("/\\") == std::string::npos);
        std::string safe = SafeBaseName(name);
        Check(!safe.empty() && safe.size() <= kMaxStoredName);
        Check(safe != "." && safe != "..");
        for (char c : safe) {
            auto b = static_cast<unsigned char>(c);
            Check(b >= 0x20 && b != 0x7F && c != '/' && c != '\\' && c != ':');
        }
    }
    void Append(std::string_view bytes) override {
        Check(open_);
        Check(bytes.size() <= BlockSize(kind_));
        size_ += static_cast<std::int64_t>(bytes.size());
        if (kind_ == TTransferKind::File) Check(size_ <= announced_);
        else Check(size_ <= kMaxPictureBytes);
    }
    std::string Commit() override {
        Check(open_);
        open_ = false;
        if (kind_ == TTransferKind::File) Check(size_ == announced_);
        return "x";
    }
    void Abort() noexcept override { open_ = false; }

private:
    bool open_ = false;
    TTransferKind kind_ = TTransferKind::File;
    std::int64_t announced_ = 0;
    std::int64_t size_ = 0;
};

class TBytesSource : public TTransferSource {
public:
    explicit TBytesSource(std::size_t size) : left_(size) {}
    std::size_t Read(char* buffer, std::size_t max) override {
        std::size_t n = std::min(max, left_);
        for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(i);
        left_ -= n;
        return n;
    }

private:
    std::size_t left_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);

    // The parsing functions on their own.
    if (auto request = ParseFileRequest(input)) Check(request->size >= 0);
    if (auto length = ParseBlockLength(input)) Check(*length >= 0);
    if (auto jpeg = JpegFrameSize(input)) Check(jpeg->width >= 0 && jpeg->height >= 0);
    (void)IsReservedName(input);

    if (input.empty()) return 0;
    const auto flags = static_cast<std::uint8_t>(input[0]);
    input.remove_prefix(1);

    std::int64_t now = 0;
    TCheckingSink sink;
    TDataPhone phone(sink, [&now] { return now; });
    phone.SetTimeoutSeconds(1 + (flags & 3));
    phone.SetConnected(true);
    std::size_t written = 0;

    while (!input.empty()) {
        auto control = static_cast<std::uint8_t>(input[0]);
        input.remove_prefix(1);
        std::size_t n = std::min<std::size_t>(control & 63, input.size());
        phone.Feed(input.substr(0, n));
        input.remove_prefix(n);
        switch (control >> 6) {
            case 1:
                now += 100 * (1 + (control & 31));
                phone.Tick();
                break;
            case 2:
                phone.AcceptFile();
                break;
            case 3:
                if (control & 1) phone.SendChat("hi");
                else if (control & 2) phone.SendPicture(std::make_unique<TBytesSource>(control & 60 ? 1500 : 1024));
                else phone.SendFile("f.txt", 2048 + (control & 4), std::make_unique<TBytesSource>(2048 + (control & 4)));
                break;
            default:
                break;
        }
        written += phone.TakeOutput().size();
        phone.TakeEvents();
        // The phone's own output is bounded by one block and its header per step.
        Check(written < 64 * 1024 * 1024);
    }
    // Time runs out on everything that still waits.
    for (int i = 0; i < 8 && phone.NextDeadline(); ++i) {
        now = std::max(now, *phone.NextDeadline());
        phone.Tick();
    }
    Check(!phone.Busy());
    if (flags & 4) phone.SetConnected(false);
    return 0;
}
