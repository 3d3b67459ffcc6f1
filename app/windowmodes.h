#pragma once
// ShowCard and the mode switches. ShowCard reads the mode from the mode
// switches and the mail group, then tells every panel the mode and the
// clone state in the order of its steps; each panel lays out its own
// widgets.

#include "app/panels/windowmode.h"

namespace vandrex {

class TForm1;
class TCardFileTool;
class TCloneMode;
class TLineInterface;
struct TPanels;

class TWindowModes {
public:
    TWindowModes(TForm1& form, const TPanels& panels, TCardFileTool& cards, TCloneMode& clones,
                 TLineInterface& line);

    void ShowCard();
    // Mode switches.
    void VideoPhoneClick();
    void MailChatBoxClick() { ShowCard(); }
    void FTPCheckBoxClick() { ShowCard(); }
    // Leaves player mode (the Cards button of the player panel).
    void PlayerExitClick();
    // The mode the last ShowCard laid out.
    WindowMode Mode() const { return mode_; }

private:
    WindowMode selectedMode() const;
    void copyCardToTools();
    void layout(WindowMode mode, const TCloneState& clone);

    TForm1& form_;
    const TPanels& p_;
    TCardFileTool& cards_;
    TCloneMode& clones_;
    TLineInterface& line_;
    WindowMode mode_ = WindowMode::TextMail;
};

}  // namespace vandrex
