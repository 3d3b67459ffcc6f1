#include "app/panels/realmediapanel.h"

#include <QToolButton>

#include "app/panels/builders.h"
#include "media/producerinterface.h"

namespace vandrex {

TRealMediaPanel::TRealMediaPanel(TProducerInterface& producer, QObject* parent)
    : QObject(parent), producer_(producer) {}

void TRealMediaPanel::BuildRecorderButton(QWidget* client) {
    StartAudioSButton = ui::Speed(client, "StartAudioSButton", QStringLiteral("Rec"), 316, 306, 30, 20,
                                  QStringLiteral("Start / Stop Recording"));
    StartAudioSButton->hide();
}

void TRealMediaPanel::ClickStartAudioSButton() {
    if (StartAudioSButton) StartAudioSButton->click();
}

void TRealMediaPanel::SetProducerDefaults() {
    producer_.SetProperty(QStringLiteral("DeInterlaceFilter"), false);
    producer_.SetProperty(QStringLiteral("EmphasizeAudio"), false);
    producer_.SetProperty(QStringLiteral("LossProtection"), false);
    producer_.SetProperty(QStringLiteral("InputCaptureAudioDriver"), 0);
}

void TRealMediaPanel::StopEncoding() { producer_.StopEncoding(); }

void TRealMediaPanel::EnterPlayerMode() {
    producer_.StopEncoding();
    for (const char* p : {"LossProtection", "Target56KModem", "TargetSingleISDN", "TargetDualISDN",
                          "TargetDSLCableModem", "TargetLAN", "VideoCroppingEnabled"})
        producer_.SetProperty(QString::fromLatin1(p), false);
    producer_.SetProperty(QStringLiteral("DoOutputFile"), true);
    producer_.SetProperty(QStringLiteral("DoOutputServer"), false);
    producer_.SetProperty(QStringLiteral("MobilePlay"), false);
}

}  // namespace vandrex
