#pragma once
// The panels of the main window, one per group of controls. TForm1 creates
// them (in this order, which is also their stacking order) and hands this
// set to the tools that lay them out.

namespace vandrex {

class TMainMenu;
class TPicturePanel;
class TCardPanel;
class TModePanel;
class TPhonePanel;
class TSnapshotPanel;
class TOptimizerPanel;
class TProbePanel;
class TMailPanel;
class TPlayerPanel;
class TRealMediaPanel;
class TStatusBar;
class TTimerPanel;

struct TPanels {
    TMainMenu& Menu;
    TPicturePanel& Picture;
    TCardPanel& Card;
    TModePanel& Switches;
    TPhonePanel& Phone;
    TSnapshotPanel& Snapshot;
    TOptimizerPanel& Optimizer;
    TProbePanel& Probe;
    TMailPanel& Mail;
    TPlayerPanel& Player;
    TRealMediaPanel& RealMedia;
    TStatusBar& ConnectStatus;
    TTimerPanel& Timer;
};

}  // namespace vandrex
