#include "app/panels/playerpanel.h"

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include "app/panels/builders.h"

namespace vandrex {

namespace {
// The player control's picture area on the card side.
const QRect kImageWindow(199, 23, 178, 136);
}  // namespace

TPlayerPanel::TPlayerPanel(QWidget* c, QMenuBar* bar, QObject* parent, QWidget* playerControl)
    : QObject(parent), client_(c) {
    Mixer = ui::Submenu(bar, "Mixer", QStringLiteral("Player"));
    ui::Item(Mixer, "LoadMixFile", QStringLiteral("Load"));
    CreateMixFile = ui::Item(Mixer, "CreateMixFile", QStringLiteral("Create"));
    ui::Item(Mixer, "PlayList", QStringLiteral("PlayList Only"));
    ui::Item(Mixer, "WavPlayList", QStringLiteral("R8 + PlayList"), false);
    ui::Item(Mixer, "WavPlayListDel", QStringLiteral("R8 + List + Delete"), false);
    QMenu* shuffle = ui::Submenu(Mixer, "Shuffle", QStringLiteral("Shuffle"));
    ui::Item(shuffle, "RandoMixNormal", QStringLiteral("Normal"))->setCheckable(true);
    ui::Item(shuffle, "Favorite", QStringLiteral("Favorite"), false);
    ui::Item(shuffle, "AI1", QStringLiteral("AI"), false);
    ui::Item(shuffle, "MixOverlapMenu", QStringLiteral("Overlap"), false);
    Mixer->addMenu(shuffle);
    ui::Item(Mixer, "MixFader", QStringLiteral("Fade"))->setCheckable(true);
    ui::Item(Mixer, "MixRepeat", QStringLiteral("NonStop"))->setCheckable(true);
    Mixer->addSeparator();
    DJManual = ui::Item(Mixer, "DJManual", QStringLiteral("Manual"));
    DJManual->setCheckable(true);
    DJAutoMatic = ui::Item(Mixer, "DJAutoMatic", QStringLiteral("Automatic"), false);
    DJAutoMatic->setCheckable(true);
    bar->addMenu(Mixer);

    // Player commands on the menu bar itself, shown once a playlist is loaded.
    auto barItem = [bar](const char* name, const char* caption) {
        QAction* a = ui::Named(new QAction(QString::fromLatin1(caption), bar), name);
        a->setVisible(false);
        bar->addAction(a);
        return a;
    };
    StartMix = barItem("StartMix", "Start");
    StopMix = barItem("StopMix", "Stop");
    PauseMix = barItem("PauseMix", "||");
    barItem("PreviousMixItem", "<<");
    barItem("NextMixItem", ">>");
    QMenu* track = ui::Submenu(bar, "MixTrackNumber", QStringLiteral("T0"));
    ui::Item(track, "MixTrackTitle", QStringLiteral("Title:    "));
    ui::Item(track, "MixCDTitle", QStringLiteral("Author: "));
    ui::Item(track, "MixTrackCopyRight", QStringLiteral("Copyright: "));
    bar->addMenu(track)->setVisible(false);
    barItem("MixLevelPlus", "+");
    barItem("MixLevelMin", "--");

    if (playerControl) {
        Real_Player_1 = ui::Named(playerControl, "Real_Player_1");
        Real_Player_1->setParent(c);
        Real_Player_1->setGeometry(kImageWindow);
    } else {
        Real_Player_1 = ui::Picture(c, "Real_Player_1", kImageWindow.x(), kImageWindow.y(), kImageWindow.width(),
                                    kImageWindow.height());
    }
    Real_Player_1->setProperty("Controls", QStringLiteral("ImageWindow"));
    Real_Player_1->hide();

    QGroupBox* p = Panorama = ui::Group(c, "Panorama", QString(), 0, 0, 392, 293,
                                        QStringLiteral("Images [135 x 289]: CDImage.jpg & Track_?.jpg"));
    // The panel covers the card side completely while it is shown.
    p->setAutoFillBackground(true);
    Image4 = ui::Picture(p, "Image4", 8, 8, 289, 135);
    DisplayEncoder2 = ui::Picture(p, "DisplayEncoder2", 302, 8, 82, 135);
    Label12 = ui::Label(p, "Label12", QStringLiteral("Title"), 8, 150, 376);
    Label14 = ui::Label(p, "Label14", QStringLiteral("Author"), 8, 168, 376);
    Label15 = ui::Label(p, "Label15", QStringLiteral("Copyright"), 8, 186, 376);
    Real_PlayItem = ui::Named(new QSlider(Qt::Horizontal, p), "Real_PlayItem");
    Real_PlayItem->setGeometry(8, 208, 340, 20);
    Real_PlayItem->setRange(0, 1000);
    Real_FadeVolume = ui::Named(new QSlider(Qt::Horizontal, p), "Real_FadeVolume");
    Real_FadeVolume->setGeometry(8, 234, 300, 20);
    Real_FadeVolume->setRange(0, 100);
    FadeTimerEdit = ui::Edit(p, "FadeTimerEdit", 314, 234, 22, QStringLiteral("Fade time [s]"), 20);
    FadeTimerEdit->setMaxLength(1);
    FadeTimerEdit->setText(QStringLiteral("2"));
    FadeButton = ui::Speed(p, "FadeButton", QStringLiteral("Fade"), 340, 234, 30, 20);
    LED_FadeButton = ui::Led(p, "LED_FadeButton", lcGreen, 374, 238, QStringLiteral("Fade Led"));
    DJButton = ui::Speed(p, "DJButton", QStringLiteral("DJ"), 340, 190, 30, 18);
    DJButton->hide();
    LED_DJButton = ui::Led(p, "LED_DJButton", lcRed, 374, 212, QStringLiteral("DJ Manual"));
    PlayerExitButton = ui::Button(p, "PlayerExitButton", QStringLiteral("Cards"), 8, 260, 66, 27,
                                  QStringLiteral("Leave player mode [back to the card file]"));
    p->hide();

    connect(PlayerExitButton, &QPushButton::clicked, this, &TPlayerPanel::PlayerExitClicked);
}

void TPlayerPanel::ShowCardSide() {
    Panorama->setVisible(false);
    Real_Player_1->setParent(client_);
    Real_Player_1->setProperty("Controls", QStringLiteral("ImageWindow"));
    Real_Player_1->setGeometry(kImageWindow);
    Real_Player_1->hide();
}

void TPlayerPanel::Layout(WindowMode mode) {
    Mixer->menuAction()->setVisible(true);
    CreateMixFile->setEnabled(mode != WindowMode::Player);
    if (mode != WindowMode::Player) return;
    Panorama->show();
    Panorama->raise();
    for (QWidget* w : {static_cast<QWidget*>(Real_PlayItem), static_cast<QWidget*>(Real_FadeVolume),
                       static_cast<QWidget*>(FadeTimerEdit)})
        w->setVisible(true);
    Real_Player_1->setParent(Panorama);
    Real_Player_1->setProperty("Controls", QStringLiteral("Statusbar"));
    Real_Player_1->setGeometry(79, 260, 307, 27);
    Real_Player_1->setVisible(playlistLoaded_);
    if (!playlistLoaded_) {
        Label12->setText(QStringLiteral("Title"));
        Label14->setText(QStringLiteral("Author"));
        Label15->setText(QStringLiteral("Copyright"));
    }
}

void TPlayerPanel::SetDJAuto(bool automatic) {
    DJManual->setChecked(!automatic);
    DJAutoMatic->setChecked(automatic);
    LED_DJButton->setLit(!automatic);
}

void TPlayerPanel::OfferDJAuto(const QString& mixerCaption) {
    DJAutoMatic->setEnabled(true);
    DJAutoMatic->setChecked(true);
    Mixer->menuAction()->setText(mixerCaption);
}

void TPlayerPanel::ResetDJ() {
    Mixer->menuAction()->setText(QStringLiteral("Player"));
    DJManual->setChecked(false);
    DJAutoMatic->setChecked(false);
    LED_DJButton->setLit(false);
    DJAutoMatic->setEnabled(false);
}

void TPlayerPanel::PauseMixClick() { PauseMix->trigger(); }
void TPlayerPanel::StopMixClick() { StopMix->trigger(); }
void TPlayerPanel::StartMixClick() { StartMix->trigger(); }

void TPlayerPanel::PlaceImageWindow(int left, int top, int width, int height) {
    Real_Player_1->setGeometry(left, top, width, height);
}

}  // namespace vandrex
