#pragma once
// The card commands of the main window (New, <<, >>, Store, Erase, the
// slider, player mode on and off) over the card database, and the copying
// of the current card between CardBuffer and the eleven edits.

#include <QObject>
#include <QString>
#include <array>

#include "app/carddatabase.h"

class QLineEdit;

namespace vandrex {

class TForm1;

class TCardFileTool : public QObject {
    Q_OBJECT
public:
    explicit TCardFileTool(TForm1* form);

    TCardDatabase& Database() { return db_; }

    // Step 12-14 of activation: empty edits, CardIndex 0, open or create.
    void OpenDatabase();
    void CloseDatabase();
    bool HasRecords() const;
    // Close: seek to CardIndex, StoreCard, SortCards.
    void StoreShownCardAndSort();

    // Puts CardBuffer into the edits (the card part of ShowCard).
    void ShowFields();
    // The edits in file order.
    std::array<QLineEdit*, kCardFieldCount> Edits() const { return edits_; }

    void NewClick();
    void PreviousClick();
    void NextClick();
    void SaveClick();
    void EraseClick();
    void TrackBar1Change(int position);
    void CheckBox1Click();
    // Leaves player mode (the Cards button of the player panel).
    void PlayerExitClick();

private:
    bool lastNameGiven() const;
    CardTexts editTexts() const;
    void clearEdits();
    void setSliderMax(int max);

    TForm1* form_;
    TCardDatabase db_;
    std::array<QLineEdit*, kCardFieldCount> edits_{};
    // What the edits were given by ShowFields, as bytes and as shown, so
    // that bytes the edit cannot display exactly are stored back unchanged.
    std::array<std::string, kCardFieldCount> shownBytes_;
    std::array<QString, kCardFieldCount> shownText_;
};

}  // namespace vandrex
