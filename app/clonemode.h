#pragma once
// Clone mode: several running copies share one card file. The first copy
// (title "Vandrex v4.4a") keeps the right to change the file; every later
// copy becomes a clone (title "Vandrex v4.4b") without card commands. The
// copies talk through instance messages; this class owns the sender and the
// receiver and carries out every message the main window understands.

#include <QObject>
#include <QString>

#include "ipc/fxcommrx.h"
#include "ipc/fxcommtx.h"

namespace vandrex {

class TForm1;

class TCloneMode : public QObject {
    Q_OBJECT
public:
    explicit TCloneMode(TForm1* form);

    // Step 5 of activation: become the first copy or a clone. A copy that is
    // already a clone while its first copy runs, and a first copy with clones
    // running, keep their place and their sender's target.
    void BecomeFirstCopyOrClone();
    // Close sends "ResetPlayer" to the other copy.
    void SendResetPlayer();
    // The instance sender holds a target.
    bool SenderActive() const { return fxCommTX1.Active(); }
    // Sends a text through the instance sender (the DJ commands of the mixer).
    void Send(const QString& text) { fxCommTX1.Send(text); }

    // The OnCommReceived handler of fxCommRX1.
    void VandrexCommRXCommReceived(TfxCommRX* sender, const QString& sMessage);

    // Running clones, counted by the first copy.
    qint32 CloneCount = 0;

    TfxCommTX fxCommTX1;
    TfxCommRX fxCommRX1;

    // Captions and texts.
    static inline const QString kClonesCaptionTail = QStringLiteral(" -> Clones  / Database protection");
    static inline const QString kNormalCaption = QStringLiteral("Vandrex v4.4a Beta i-mode mail / Data Phone");

private:
    void setTitle(const QString& title);
    void setEnabled(const char* name, bool enabled);
    void showCloneCount();
    void setDJAuto(bool automatic);

    void DJReady();
    void CloneMode();
    void ResetPlayer();
    void AddOneClone();
    void GoToTrack(bool next);

    TForm1* form_;
    QString webSiteStartText_;
};

}  // namespace vandrex
