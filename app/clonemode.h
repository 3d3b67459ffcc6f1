#pragma once
// Clone mode: the first running copy keeps the right to change the database,
// later copies become clones. This first version knows only one copy: it
// stays the first copy and sends nothing.

#include <QObject>

namespace vandrex {

class TForm1;

class TCloneMode : public QObject {
    Q_OBJECT
public:
    explicit TCloneMode(TForm1* form);

    // Step 5 of activation: become the first copy or a clone.
    void BecomeFirstCopyOrClone();
    // Close sends "ResetPlayer" to the other copy.
    void SendResetPlayer();
    // The instance sender holds a target.
    bool SenderActive() const { return false; }
    int CloneCount = 0;

private:
    TForm1* form_;
};

}  // namespace vandrex
