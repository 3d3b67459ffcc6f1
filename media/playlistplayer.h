#pragma once
// TPlaylistPlayer: the playing engine behind TRealAudio, without widgets.
// Plays a clip, or the entries of a .ram playlist in order, shuffled or
// looping. One worker thread per clip decodes; the sound goes to PulseAudio,
// ALSA or a silent output that keeps real time, and pictures follow the
// clock of the sound heard (or the wall clock in clips without sound).
//
// Hold: while held, a clip that ends does not start the next one; the next
// entry is cued (it becomes the current entry, at position 0, paused) and
// starts when the hold is released. Releasing a hold with nothing cued
// changes nothing.

#include <QImage>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vandrex {

class TClipWorker;

class TPlaylistPlayer : public QObject {
    Q_OBJECT
public:
    enum class TState { Stopped, Playing, Paused };

    explicit TPlaylistPlayer(QObject* parent = nullptr);
    ~TPlaylistPlayer() override;

    // Silent output instead of the sound card (tests, the command line).
    void SetSilent(bool silent) { silent_ = silent; }
    // Decoded pictures are made only while someone shows them.
    void SetWantPictures(bool want) { wantPictures_ = want; }
    // Called on the worker thread with every block of samples sent to the
    // output, after the volume: for level meters.
    std::function<void(const std::int16_t* samples, int frames, int channels)> SampleTap;

    void PlayerSetSource(const QString& source);
    void PlayerPlay();
    void PlayerStop();
    void PlayerPlayPause();
    void PlayerNextItem();
    void PlayerPrevItem();
    std::int16_t PlayerGetVolume() const { return static_cast<std::int16_t>(volume_->load()); }
    void PlayerSetVolume(int volume);
    int PlayerGetPosition() const;
    int PlayerGetLength() const { return lengthMs_; }
    QString PlayerGetTitle() const { return title_; }
    QString PlayerGetAuthor() const { return author_; }
    QString PlayerGetCopyright() const { return copyright_; }
    std::int16_t PlayerGetNumEntries() const { return static_cast<std::int16_t>(entries_.size()); }
    std::int16_t PlayerGetCurrentEntry() const;
    void PlayerSetShuffle(bool on);
    void PlayerSetLoop(bool on) { loop_ = on; }
    void PlayerSetHold(bool on);

    TState State() const { return state_; }
    const QStringList& Entries() const { return entries_; }
    QString Source() const { return source_; }

signals:
    void OnClipOpened(const QString& shortClipName, const QString& url);
    void OnVolumeChange(int nVol);
    // A picture due now (only with SetWantPictures).
    void PictureReady(const QImage& picture);
    // The last entry ended and nothing follows.
    void PlaybackFinished();
    // A clip could not be played; the player goes on with the next.
    void ClipFailed(const QString& url, const QString& reason);
    void StateChanged();

private:
    void startClip(bool paused);
    void stopWorker();
    void clipEnded(unsigned generation);
    void clipOpened(unsigned generation, QString title, QString author, QString copyright, int lengthMs);
    void clipFailed(unsigned generation, QString reason);
    bool step(int direction, bool wrap);
    void buildOrder();
    void setState(TState s);

    QString source_;
    QStringList entries_;
    std::vector<int> order_;
    int position_ = 0;  // index into order_
    bool shuffle_ = false, loop_ = false, hold_ = false, cued_ = false;
    bool silent_ = false, wantPictures_ = false;
    std::shared_ptr<std::atomic<int>> volume_ = std::make_shared<std::atomic<int>>(100);
    TState state_ = TState::Stopped;
    QString title_, author_, copyright_;
    int lengthMs_ = 0;
    unsigned generation_ = 0;
    int failuresInARow_ = 0;
    std::shared_ptr<TClipWorker> worker_;
};

}  // namespace vandrex
