#include "media/realaudio.h"

#include <QPainter>
#include <QTimer>

#include "platform/duration.h"

namespace vandrex {

TRealAudio::TRealAudio(QWidget* parent) : QWidget(parent) {
    player_.SetWantPictures(true);
    connect(&player_, &TPlaylistPlayer::OnClipOpened, this, &TRealAudio::OnClipOpened);
    connect(&player_, &TPlaylistPlayer::OnVolumeChange, this, &TRealAudio::OnVolumeChange);
    connect(this, &TRealAudio::OnClipOpened, this, [this](const QString& name, const QString& url) {
        if (TPlayerInterface::OnClipOpened) TPlayerInterface::OnClipOpened(this, name, url);
    });
    connect(this, &TRealAudio::OnVolumeChange, this, [this](int nVol) {
        if (TPlayerInterface::OnVolumeChange) TPlayerInterface::OnVolumeChange(this, nVol);
    });
    connect(&player_, &TPlaylistPlayer::PictureReady, this, [this](const QImage& image) {
        picture_ = image;
        update();
    });
    connect(&player_, &TPlaylistPlayer::StateChanged, this, [this] { update(); });
    // The status strip's position moves while a clip plays.
    auto* tick = new QTimer(this);
    connect(tick, &QTimer::timeout, this, [this] {
        if (controls_ == QLatin1String("Statusbar") && player_.State() == TPlaylistPlayer::TState::Playing) update();
    });
    tick->start(500);
}

void TRealAudio::SetSource(const QString& source) {
    source_ = source;
    picture_ = QImage();
    player_.PlayerSetSource(source);
    if (autoStart_) player_.PlayerPlay();
    update();
}

void TRealAudio::SetControls(const QString& v) {
    controls_ = v;
    player_.SetWantPictures(v != QLatin1String("Statusbar"));
    update();
}

QString TRealAudio::StatusText() const {
    const char* state = player_.State() == TPlaylistPlayer::TState::Playing  ? "Playing"
                        : player_.State() == TPlaylistPlayer::TState::Paused ? "Paused"
                                                                              : "Stopped";
    QString text = QString("%1 %2 / %3").arg(state, QString::fromStdString(FormatDuration(player_.PlayerGetPosition() / 1000)),
                                              QString::fromStdString(FormatDuration(player_.PlayerGetLength() / 1000)));
    if (!noLabels_ && !player_.PlayerGetTitle().isEmpty()) text += "  " + player_.PlayerGetTitle();
    return text;
}

void TRealAudio::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (controls_ == QLatin1String("Statusbar")) {
        p.setPen(Qt::green);
        p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, StatusText());
        return;
    }
    if (picture_.isNull()) return;
    const QSize fit = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fit.width()) / 2, (height() - fit.height()) / 2), fit);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, picture_);
}

}  // namespace vandrex
