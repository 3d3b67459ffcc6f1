#include "ipc/fxcommrx.h"

#include <cstring>
#include <string_view>

#include "platform/codepage.h"

namespace vandrex {

TfxCommRX::TfxCommRX(TMessageTransport& transport)
    : transport_(transport), hookId_(transport.HookMainWindow([this](TMessage& m) { return WindowHook(m); })) {}

TfxCommRX::~TfxCommRX() { transport_.UnhookMainWindow(hookId_); }

std::optional<QString> TfxCommRX::ReadText(const TCopyDataStruct& data) {
    if (!data.lpData || data.cbData == 0) return std::nullopt;
    const char* bytes = static_cast<const char*>(data.lpData);
    const void* zero = std::memchr(bytes, '\0', data.cbData);
    if (!zero) return std::nullopt;
    const std::string_view text(bytes, static_cast<const char*>(zero) - bytes);
    const std::u32string wide = DecodeAnsi(text);
    return QString::fromStdU32String(wide);
}

bool TfxCommRX::WindowHook(TMessage& message) {
    if (message.Msg != WM_COPYDATA || !OnCommReceived || !message.CopyData) return false;
    const std::optional<QString> text = ReadText(*message.CopyData);
    if (!text) return false;
    // A copy: the handler may replace OnCommReceived or free this receiver.
    const TCommReceivedEvent handler = OnCommReceived;
    handler(this, *text);
    message.Result = 1;
    return true;
}

}  // namespace vandrex
