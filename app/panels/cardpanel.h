#pragma once
// The card edits and the card commands: Edit1..Edit11 with Label1..Label11,
// the groups Navigatie (Previous, Next, New) and Correctie (Save, Erase),
// Close, the card number Panel1 and the slider group (TrackBar1). The panel
// shows a card record and hands back the texts of its edits; the card file
// tool (app/cardfiletool.h) connects the commands.

#include <QObject>
#include <array>
#include <string>

#include "app/cardrecord.h"
#include "app/panels/windowmode.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace vandrex {

class TCardPanel : public QObject {
    Q_OBJECT
public:
    TCardPanel(QWidget* client, QObject* parent);

    // Puts a card into the edits; bytes an edit cannot show exactly are
    // remembered and handed back unchanged by Texts while the edit is not
    // changed.
    void Show(const TCardRecord& card);
    // The edits' texts in file order, in the card code page.
    CardTexts Texts() const;
    // One field as shown.
    QString Text(CardField field) const;
    void Clear();
    bool LastNameGiven() const;

    // Panel1 and the slider position.
    void ShowNumber(int cardIndex);
    // An empty file's -1 shows as an empty range.
    void SetSliderMax(int max);

    // ShowCard's steps for this panel: the commands by clone state (card
    // side only), then the mode's layout.
    void ApplyCloneState(bool isClone);
    void Layout(WindowMode mode, const TCloneState& clone);
    // A first copy that gets clones, and one whose last clone ended.
    void LockForClones();
    void UnlockAfterClones();
    // Card-changing commands are locked (New disabled): a clone, a first copy
    // with clones, or while the sender is active in text mail mode.
    bool CommandsLocked() const;
    // VideoPhone off brings Close back.
    void ShowClose();

signals:
    void NewClicked();
    void PreviousClicked();
    void NextClicked();
    void SaveClicked();
    void EraseClicked();
    void CloseClicked();
    void TrackBar1Changed(int position);

private:
    void setEditsVisible(bool visible);
    void setCommandsEnabled(bool enabled);

    std::array<QLineEdit*, kCardFieldCount> edits_{};   // file order
    std::array<QLabel*, kCardFieldCount> labels_{};
    QGroupBox* Navigatie = nullptr;
    QGroupBox* Correctie = nullptr;
    QPushButton* Previous = nullptr;
    QPushButton* Next = nullptr;
    QPushButton* New = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* Erase = nullptr;
    QPushButton* Close = nullptr;
    QLabel* Panel1 = nullptr;
    QGroupBox* Slider = nullptr;
    QSlider* TrackBar1 = nullptr;
    // What Show gave the edits, as bytes and as shown.
    std::array<std::string, kCardFieldCount> shownBytes_;
    std::array<QString, kCardFieldCount> shownText_;
};

}  // namespace vandrex
