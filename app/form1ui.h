#pragma once
// Builds the widgets of the main window TForm1: every control is created here,
// named after its component, with its design-time caption, hint and place.
// The window's tool classes find them by name (app/findcontrol.h).

class QMainWindow;

namespace vandrex {

// Design-time client size of the main window.
constexpr int kForm1ClientWidth = 392;
constexpr int kForm1ClientHeight = 609;
// Outer (frame) size minus client size, used where the window's size is set
// as the outer size of the original form (655 high = 609 client).
constexpr int kFrameExtraWidth = 8;
constexpr int kFrameExtraHeight = 46;

void BuildForm1(QMainWindow* form);

}  // namespace vandrex
