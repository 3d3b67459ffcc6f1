#pragma once
// The card commands of the main window (New, <<, >>, Store, Erase, the
// slider, player mode on) over the card database. The card panel shows the
// cards and hands back the edits' texts.

#include <QObject>
#include <QString>

#include "app/carddatabase.h"

namespace vandrex {

class TForm1;
class TCardPanel;

class TCardFileTool : public QObject {
    Q_OBJECT
public:
    TCardFileTool(TForm1& form, TCardPanel& card);

    TCardDatabase& Database() { return db_; }
    const TCardDatabase& Database() const { return db_; }

    // Steps 12-14 of activation: empty edits, CardIndex 0, the messages and
    // the file name, open or create.
    void OpenDatabase();
    void CloseDatabase();
    bool HasRecords() const;
    // Close: seek to CardIndex, StoreCard, SortCards.
    void StoreShownCardAndSort();
    // Sorts the file and shows card 0.
    void SortAndShow();

    QString MsgLastName() const { return msgLastName_; }
    QString DatabaseName() const { return databaseName_; }

    void NewClick();
    void PreviousClick();
    void NextClick();
    void SaveClick();
    void EraseClick();
    void TrackBar1Change(int position);
    void CheckBox1Click();

private:
    // Shows what a database call left to show.
    void show(const TCardUpdate& update);

    TForm1& form_;
    TCardPanel& card_;
    TCardDatabase db_;
    QString msgLastName_ = QStringLiteral("ENTER A LASTNAME FIRST !");
    QString databaseName_ = QStringLiteral("Your DataBase.DAT");
};

}  // namespace vandrex
