#include "ipc/fxcommtx.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"

namespace vandrex {

namespace {
constexpr int kMaxName = 255;
}

void TfxCommTX::SetRxClassName(const QString& name) {
    rxClassName_ = name.left(kMaxName);
    target_ = TWindowHandle();
}

void TfxCommTX::SetRxWindowName(const QString& name) {
    rxWindowName_ = name.left(kMaxName);
    target_ = TWindowHandle();
}

void TfxCommTX::SetActive(bool active) {
    if (!active || rxClassName_.isEmpty() || rxWindowName_.isEmpty())
        target_ = TWindowHandle();
    else
        target_ = transport_.FindWindow(rxClassName_, rxWindowName_);
}

TCommBlock TfxCommTX::MakeBlock(const QString& text) {
    const std::u32string wide = text.toStdU32String();
    const std::string bytes = EncodeAnsi(wide);
    TCommBlock block;
    const std::size_t length = std::min<std::size_t>(bytes.size(), block.buffer.size() - 1);
    std::memcpy(block.buffer.data(), bytes.data(), length);
    block.buffer[length] = '\0';
    block.cbData = static_cast<quint32>(length + 1);
    return block;
}

void TfxCommTX::Send(const QString& text) {
    if (!Active()) SetActive(true);
    if (!Active()) return;
    const TCommBlock block = MakeBlock(text);
    TCopyDataStruct data;
    data.cbData = block.cbData;
    data.lpData = block.buffer.data();
    // A copy of the handle: handlers run during the wait may re-aim this sender.
    const TWindowHandle target = target_;
    transport_.SendCopyData(target, data);
}

}  // namespace vandrex
