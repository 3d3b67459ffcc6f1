#pragma once
// What ShowCard tells every panel: the mode it lays out and this copy's
// place among the running copies.

namespace vandrex {

enum class WindowMode { Player, TextMail, HtmlMail, PhoneChat, FtpSettings };

// HTML mail mode and its chat and FTP-settings variants.
inline bool IsHtmlMode(WindowMode mode) {
    return mode == WindowMode::HtmlMail || mode == WindowMode::PhoneChat || mode == WindowMode::FtpSettings;
}

struct TCloneState {
    bool IsClone = false;       // this copy is a clone (TCloneMode::IsClone)
    bool SenderActive = false;  // the instance sender holds a target
};

}  // namespace vandrex
