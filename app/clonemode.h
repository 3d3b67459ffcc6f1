#pragma once
// Clone mode: several running copies share one card file. The first copy
// (title "Vandrex v4.4a") keeps the right to change the file; every later
// copy becomes a clone (title "Vandrex v4.4b") without card commands. The
// copies talk through instance messages; this class owns the sender and the
// receiver, carries out every message the main window understands, and is
// the one answer to "is this copy a clone".

#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

#include "app/panels/windowmode.h"
#include "ipc/fxcommrx.h"
#include "ipc/fxcommtx.h"

namespace vandrex {

class TForm1;
class TCardFileTool;
class TPlayerInterface;
struct TPanels;

class TCloneMode : public QObject {
    Q_OBJECT
public:
    TCloneMode(TForm1& form, const TPanels& panels, TPlayerInterface& player, TCardFileTool& cards,
               TMessageTransport& transport);

    // This copy is a clone: its title is not the first copy's.
    bool IsClone() const;
    TCloneState State() const { return {IsClone(), SenderActive()}; }

    // Step 4 of activation: a new instance number, 0 .. 99999998.
    QString DrawInstanceNumber();
    QString InstanceNumber() const { return instanceNumber_; }

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
    qint32 CloneCount() const { return cloneCount_; }
    // A clone that ends without a word (killed, crashed) sends no
    // "ResetPlayer". While clones run, the first copy checks now and then
    // that each clone it answered still takes messages, and counts a gone
    // one out as its "ResetPlayer" would have. A stopped clone holds up a
    // check for as long as the transport waits for an answer.
    void CheckClones();
    void SetCloneCheckInterval(int ms) { cloneCheck_.setInterval(ms); }
    bool CheckingClones() const { return cloneCheck_.isActive(); }
    const TfxCommTX& Sender() const { return fxCommTX1; }
    TfxCommRX& Receiver() { return fxCommRX1; }

    // Captions and texts.
    static inline const QString kClonesCaptionTail = QStringLiteral(" -> Clones  / Database protection");
    static inline const QString kNormalCaption = QStringLiteral("Vandrex v4.4a Beta i-mode mail / Data Phone");

private:
    void setTitle(const QString& title);
    void showCloneCount();

    void DJReady();
    void CloneMode();
    void ResetPlayer();
    void AddOneClone();
    void GoToTrack(bool next);

    TForm1& form_;
    const TPanels& p_;
    TPlayerInterface& player_;
    TCardFileTool& cards_;
    TMessageTransport& transport_;
    TfxCommTX fxCommTX1;
    TfxCommRX fxCommRX1;
    // The clones this first copy answered, for CheckClones.
    std::vector<TWindowHandle> answeredClones_;
    QTimer cloneCheck_;
    bool checkingClones_ = false;
    qint32 cloneCount_ = 0;
    QString instanceNumber_;
};

}  // namespace vandrex
