// The window with the real media components in place of the recording doubles.

#include "window_fixture.h"

#include <QPointer>
#include <utility>
#include <vector>

#include "app/windowmodes.h"
#include "media/producercontrol.h"
#include "media/realaudio.h"

namespace vandrex::testing {
namespace {

using RealComponents = WindowTest;

TEST_F(RealComponents, ActivationWritesTheEncoderDefaultsToTheProducerControl) {
    TForm1Components c = doubles.Make();
    auto* producer = new TProducerControl;
    // Values other than the defaults, so only the window's writes bring them back.
    producer->SetDeInterlaceFilter(kWordTrue);
    producer->SetEmphasizeAudio(kWordTrue);
    producer->SetLossProtection(kWordTrue);
    producer->SetInputCaptureAudioDriver(3);
    std::vector<std::pair<QString, QVariant>> written;
    QObject::connect(producer, &TProducerControl::PropertyWritten,
                     [&](const QString& name, int, const QVariant& value) { written.emplace_back(name, value); });
    c.RealAudioControl.reset(producer);
    form = std::make_unique<TForm1>(std::move(c));
    Start();

    ASSERT_EQ(written.size(), 4u);
    const char* names[] = {"DeInterlaceFilter", "EmphasizeAudio", "LossProtection", "InputCaptureAudioDriver"};
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(written[i].first, names[i]);
        EXPECT_EQ(written[i].second.toInt(), 0) << names[i];
    }
    EXPECT_EQ(producer->GetDeInterlaceFilter(), kWordFalse);
    EXPECT_EQ(producer->GetEmphasizeAudio(), kWordFalse);
    EXPECT_EQ(producer->GetLossProtection(), kWordFalse);
    EXPECT_EQ(producer->GetInputCaptureAudioDriver(), 0);
    EXPECT_FALSE(producer->IsEncoding());
}

TEST_F(RealComponents, ThePlayerControlIsThePanelsWidgetInEveryLayout) {
    WriteFile(DbPath(), CardsWithLastNames({"b", "a"}));
    TForm1Components c = doubles.Make();
    auto* player = new TRealAudio;
    player->Engine().SetSilent(true);
    c.Real_Player_1.reset(player);
    form = std::make_unique<TForm1>(std::move(c));
    Start();

    ASSERT_EQ(form->control<QWidget>("Real_Player_1"), player);
    EXPECT_EQ(player->Controls(), "ImageWindow");
    EXPECT_EQ(player->geometry(), QRect(199, 23, 178, 136));
    EXPECT_FALSE(player->isVisibleTo(form.get()));

    Click("Next");
    Check("CheckBox1")->setChecked(true);
    Process();
    ASSERT_EQ(form->Modes().Mode(), WindowMode::Player);
    EXPECT_EQ(player->Controls(), "Statusbar");
    EXPECT_EQ(player->geometry(), QRect(79, 260, 307, 27));
    EXPECT_EQ(player->parentWidget(), form->control<QWidget>("Panorama"));
    EXPECT_TRUE(player->StatusText().startsWith("Stopped"));

    Click("PlayerExitButton");
    EXPECT_EQ(player->Controls(), "ImageWindow");
    EXPECT_EQ(player->geometry(), QRect(199, 23, 178, 136));
    EXPECT_FALSE(player->isVisibleTo(form.get()));
    // The window owns the control through its components and deletes it once.
    QPointer<TRealAudio> watch(player);
    form.reset();
    EXPECT_TRUE(watch.isNull());
}

// The interface's callbacks hear the control's events.
TEST_F(RealComponents, TheControlsEventsReachTheInterfaceCallbacks) {
    TProducerControl producer;
    TProducerInterface& ip = producer;
    std::vector<QString> heard;
    ip.OnErrorOccurred = [&](TProducerInterface* sender, int, const QString& text) {
        EXPECT_EQ(sender, &ip);
        heard.push_back(text);
    };
    ip.OnEncodingStopped = [&](TProducerInterface*) { heard.push_back("stopped"); };
    emit producer.OnErrorOccurred(7, "broken");
    emit producer.OnEncodingStopped();
    EXPECT_EQ(heard, (std::vector<QString>{"broken", "stopped"}));

    TRealAudio player;
    TPlayerInterface& pl = player;
    int volume = -1;
    QString clip;
    pl.OnVolumeChange = [&](TPlayerInterface*, int v) { volume = v; };
    pl.OnClipOpened = [&](TPlayerInterface*, const QString& name, const QString&) { clip = name; };
    pl.PlayerSetVolume(40);
    emit player.OnClipOpened("a.rm", "file:///a.rm");
    EXPECT_EQ(volume, 40);
    EXPECT_EQ(clip, "a.rm");
    EXPECT_EQ(pl.PlayerGetVolume(), 40);
}

}  // namespace
}  // namespace vandrex::testing
