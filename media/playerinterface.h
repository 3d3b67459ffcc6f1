#pragma once
// What the main window asks of the player control (Real_Player_1). The
// media subsystem implements it; app/main.cpp chooses the implementation.
// Its picture area is a widget of the player panel; this is the control.

#include <QString>
#include <functional>

class QWidget;

namespace vandrex {

class TPlayerInterface {
public:
    virtual ~TPlayerInterface() = default;

    // --- required: what the mixer and the instance messages drive ---
    virtual void PlayerSetSource(const QString& source) = 0;
    virtual void PlayerPlay() = 0;
    virtual void PlayerStop() = 0;
    virtual void PlayerPlayPause() = 0;
    virtual void PlayerNextItem() = 0;
    virtual void PlayerPrevItem() = 0;
    // Hold the next item ready instead of playing on.
    virtual void PlayerSetHold(bool hold) = 0;

    // --- optional: what the mix player reads and sets ---
    virtual int PlayerGetVolume() const { return 100; }  // 0..100
    virtual void PlayerSetVolume(int volume) { (void)volume; }
    virtual qint64 PlayerGetPosition() const { return 0; }  // milliseconds
    virtual qint64 PlayerGetLength() const { return 0; }
    virtual QString PlayerGetTitle() const { return {}; }
    virtual QString PlayerGetAuthor() const { return {}; }
    virtual QString PlayerGetCopyright() const { return {}; }
    virtual int PlayerGetNumEntries() const { return 0; }
    virtual int PlayerGetCurrentEntry() const { return 0; }  // 0-based
    virtual void PlayerSetShuffle(bool on) { (void)on; }
    virtual void PlayerSetLoop(bool on) { (void)on; }
    // The control's own picture area, which the player panel places; none
    // when the control draws nothing.
    virtual QWidget* PlayerWidget() { return nullptr; }

    // --- events, on the user-interface thread ---
    std::function<void(TPlayerInterface* sender, const QString& shortClipName, const QString& url)> OnClipOpened;
    std::function<void(TPlayerInterface* sender, int nVol)> OnVolumeChange;
};

}  // namespace vandrex
