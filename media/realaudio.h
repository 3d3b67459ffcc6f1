#pragma once
// TRealAudio (Real_Player_1): the player control of the window. The playing
// itself is TPlaylistPlayer's; this widget adds the published properties and
// draws the picture ("ImageWindow") or a status strip ("Statusbar": state,
// position/length and title). Events are TPlaylistPlayer's, passed on; the
// window drives it through TPlayerInterface, whose event callbacks are called
// after the signals of the same names.

#include <QImage>
#include <QWidget>

#include "media/playerinterface.h"
#include "media/playlistplayer.h"

namespace vandrex {

class TRealAudio : public QWidget, public TPlayerInterface {
    Q_OBJECT
    Q_PROPERTY(QString Source READ Source WRITE SetSource)
    Q_PROPERTY(QString Console READ Console WRITE SetConsole)
    Q_PROPERTY(QString Controls READ Controls WRITE SetControls)
    Q_PROPERTY(bool NoLabels READ NoLabels WRITE SetNoLabels)
    Q_PROPERTY(bool AutoStart READ AutoStart WRITE SetAutoStart)
    Q_PROPERTY(bool AutoGotoURL READ AutoGotoURL WRITE SetAutoGotoURL)
    Q_PROPERTY(QString WindowName READ WindowName WRITE SetWindowName)
public:
    explicit TRealAudio(QWidget* parent = nullptr);

    QString Source() const { return source_; }
    // Loads the source; with AutoStart it starts playing.
    void SetSource(const QString& source);
    QString Console() const { return console_; }
    void SetConsole(const QString& v) { console_ = v; }
    QString Controls() const { return controls_; }
    void SetControls(const QString& v);
    bool NoLabels() const { return noLabels_; }
    void SetNoLabels(bool v) { noLabels_ = v; update(); }
    bool AutoStart() const { return autoStart_; }
    void SetAutoStart(bool v) { autoStart_ = v; }
    bool AutoGotoURL() const { return autoGotoUrl_; }
    void SetAutoGotoURL(bool v) { autoGotoUrl_ = v; }
    QString WindowName() const { return windowName_; }
    void SetWindowName(const QString& v) { windowName_ = v; }

    void PlayerSetSource(const QString& source) override { SetSource(source); }
    void PlayerPlay() override { player_.PlayerPlay(); }
    void PlayerStop() override { player_.PlayerStop(); }
    void PlayerPlayPause() override { player_.PlayerPlayPause(); }
    void PlayerNextItem() override { player_.PlayerNextItem(); }
    void PlayerPrevItem() override { player_.PlayerPrevItem(); }
    int PlayerGetVolume() const override { return player_.PlayerGetVolume(); }
    void PlayerSetVolume(int v) override { player_.PlayerSetVolume(v); }
    qint64 PlayerGetPosition() const override { return player_.PlayerGetPosition(); }
    qint64 PlayerGetLength() const override { return player_.PlayerGetLength(); }
    QString PlayerGetTitle() const override { return player_.PlayerGetTitle(); }
    QString PlayerGetAuthor() const override { return player_.PlayerGetAuthor(); }
    QString PlayerGetCopyright() const override { return player_.PlayerGetCopyright(); }
    int PlayerGetNumEntries() const override { return player_.PlayerGetNumEntries(); }
    int PlayerGetCurrentEntry() const override { return player_.PlayerGetCurrentEntry(); }
    void PlayerSetShuffle(bool on) override { player_.PlayerSetShuffle(on); }
    void PlayerSetLoop(bool on) override { player_.PlayerSetLoop(on); }
    void PlayerSetHold(bool on) override { player_.PlayerSetHold(on); }
    QWidget* PlayerWidget() override { return this; }

    TPlaylistPlayer& Engine() { return player_; }
    const QImage& Picture() const { return picture_; }
    // The status strip's text: "Playing 00:00:12 / 00:03:20  Title".
    QString StatusText() const;

signals:
    void OnClipOpened(const QString& shortClipName, const QString& url);
    void OnVolumeChange(int nVol);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TPlaylistPlayer player_;
    QString source_, console_, controls_ = QStringLiteral("ImageWindow"), windowName_;
    bool noLabels_ = false, autoStart_ = false, autoGotoUrl_ = false;
    QImage picture_;
};

}  // namespace vandrex
