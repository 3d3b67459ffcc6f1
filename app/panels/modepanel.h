#pragma once
// The two mode switches beside the slider: CheckBox1 (player mode) and
// VideoPhone (HTML mail mode). ShowCard reads the mode from them.

#include <QObject>

#include "app/panels/windowmode.h"

class QCheckBox;
class QWidget;

namespace vandrex {

class TModePanel : public QObject {
    Q_OBJECT
public:
    TModePanel(QWidget* client, QObject* parent);

    bool PlayerMode() const;
    bool HtmlMode() const;
    // Step 2 of ShowCard: the player switch is usable on the card side.
    void EnablePlayerSwitch();
    void Layout(WindowMode mode, const TCloneState& clone);
    // Leaving player mode: the switch is enabled and unchecked (its handler runs).
    void LeavePlayerMode();
    // The last clone ended: VideoPhone is enabled and unchecked, its click
    // handler running when it was checked.
    void UnlockAfterClones();

signals:
    void CheckBox1Clicked();
    void VideoPhoneClicked();

private:
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* VideoPhone = nullptr;
};

}  // namespace vandrex
