#pragma once
// The mix player: the player panel Panorama (pictures, track labels, clip
// progress, fade level and time, the Fade and DJ buttons with their lamps,
// the Cards button back to the card file), the picture area of the player
// control Real_Player_1, the Mixer menu and the player commands on the menu
// bar. Owns PlaylistLoaded and the DJ state the instance messages set.

#include <QObject>

#include "app/panels/windowmode.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QToolButton;
class QWidget;

namespace vandrex {

class TLED;

class TPlayerPanel : public QObject {
    Q_OBJECT
public:
    // The Mixer menu and the player commands are appended to bar. The
    // player control's widget becomes Real_Player_1 (the panel places it, its
    // owner deletes it); without one a plain picture area stands in.
    TPlayerPanel(QWidget* client, QMenuBar* bar, QObject* parent, QWidget* playerControl = nullptr);

    bool PlaylistLoaded() const { return playlistLoaded_; }
    // Activation: no playlist yet.
    void ResetPlaylist() { playlistLoaded_ = false; }

    // ShowCard's steps: the player's picture area on the card side, and the
    // mode's layout (the whole panel in player mode).
    void ShowCardSide();
    void Layout(WindowMode mode);
    // The player's picture area, placed by the data phone's display size.
    void PlaceImageWindow(int left, int top, int width, int height);

    // DJ mode as the instance messages set it.
    void SetDJAuto(bool automatic);      // "DJAutoOn" / "DJAutoOff"
    void OfferDJAuto(const QString& mixerCaption);  // clone mode: automatic on, Mixer captioned
    void ResetDJ();                      // the last clone ended
    // The player commands run as if their menu items were clicked.
    void PauseMixClick();
    void StopMixClick();
    void StartMixClick();

signals:
    void PlayerExitClicked();

private:
    QWidget* client_;
    QGroupBox* Panorama = nullptr;
    QFrame* Image4 = nullptr;
    QFrame* DisplayEncoder2 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QSlider* Real_PlayItem = nullptr;
    QSlider* Real_FadeVolume = nullptr;
    QLineEdit* FadeTimerEdit = nullptr;
    QToolButton* FadeButton = nullptr;
    TLED* LED_FadeButton = nullptr;
    QToolButton* DJButton = nullptr;
    TLED* LED_DJButton = nullptr;
    QPushButton* PlayerExitButton = nullptr;
    QWidget* Real_Player_1 = nullptr;  // the player control's picture area

    QMenu* Mixer = nullptr;
    QAction* CreateMixFile = nullptr;
    QAction* DJManual = nullptr;
    QAction* DJAutoMatic = nullptr;
    QAction* StartMix = nullptr;
    QAction* StopMix = nullptr;
    QAction* PauseMix = nullptr;

    bool playlistLoaded_ = false;
};

}  // namespace vandrex
