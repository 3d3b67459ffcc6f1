#include "app/cardfiletool.h"

#include "app/mainwindow.h"
#include "app/panels/cardpanel.h"
#include "platform/dialogs.h"
#include "platform/fileattributes.h"

namespace vandrex {

namespace {
const QString kClonesRefused = QStringLiteral("Clones may not share the same path");
}

TCardFileTool::TCardFileTool(TForm1& form, TCardPanel& card) : QObject(&form), form_(form), card_(card) {}

void TCardFileTool::show(const TCardUpdate& update) {
    if (update.ClearEdits) card_.Clear();
    if (update.SliderMax) card_.SetSliderMax(*update.SliderMax);
    if (update.ShowCard) form_.ShowCard();
}

bool TCardFileTool::HasRecords() const { return db_.IsOpen() && db_.RecordCount() > 0; }

void TCardFileTool::OpenDatabase() {
    card_.Clear();
    db_.CardIndex = 0;
    msgLastName_ = QStringLiteral("ENTER A LASTNAME FIRST !");
    databaseName_ = QStringLiteral("Your DataBase.DAT");
    show(db_.Open(databaseName_.toStdString()));
}

void TCardFileTool::CloseDatabase() { db_.Close(); }

void TCardFileTool::StoreShownCardAndSort() {
    db_.Seek(db_.CardIndex);
    db_.StoreCard(card_.Texts());
    show(db_.SortCards());
}

void TCardFileTool::SortAndShow() { show(db_.SortCards()); }

void TCardFileTool::NewClick() {
    if (card_.CommandsLocked()) {
        ShowMessage(kClonesRefused);
        return;
    }
    if (!card_.LastNameGiven()) {
        ShowMessage(msgLastName_);
        return;
    }
    db_.AppendCard();
    card_.Clear();
    db_.Seek(db_.CardIndex);
    card_.SetSliderMax(db_.CardIndex);
    form_.ShowCard();
    db_.Recount();
}

void TCardFileTool::PreviousClick() {
    if (!card_.LastNameGiven()) {
        ShowMessage(msgLastName_);
        return;
    }
    if (db_.CardIndex - 1 < 0) {
        db_.CardIndex = 0;
        db_.Seek(0);
        return;
    }
    db_.CardIndex -= 1;
    db_.ReadCard(db_.CardIndex);
    form_.ShowCard();
}

void TCardFileTool::NextClick() {
    if (!card_.LastNameGiven()) {
        ShowMessage(msgLastName_);
        return;
    }
    db_.CardIndex += 1;
    db_.Seek(db_.CardIndex);
    if (db_.Eof()) {
        db_.CardIndex -= 1;
        db_.Seek(db_.CardIndex);
        ShowMessage(QStringLiteral("CREATE A NEW CARD !"));
        return;
    }
    db_.ReadCard(db_.CardIndex);
    form_.ShowCard();
}

void TCardFileTool::SaveClick() {
    if (!card_.LastNameGiven()) {
        ShowMessage(msgLastName_);
        return;
    }
    const int shown = db_.CardIndex;
    db_.Seek(db_.CardIndex);
    db_.StoreCard(card_.Texts());
    // Another copy may have moved the card; the store followed it, and the
    // number on screen follows too.
    if (db_.CardIndex != shown) card_.ShowNumber(db_.CardIndex);
}

void TCardFileTool::EraseClick() {
    if (card_.CommandsLocked()) {
        ShowMessage(kClonesRefused);
        return;
    }
    card_.Clear();
    // Blank the card shown. The file position is not always at it (after
    // activation it stands after card 0), and blanking whatever record it
    // points at would destroy a card the user never chose.
    db_.Seek(db_.CardIndex);
    db_.StoreCard(card_.Texts());
    show(db_.EraseCardAt());
    db_.Recount();
    db_.Seek(db_.CardIndex);
    show(db_.SortCards());
}

void TCardFileTool::TrackBar1Change(int position) {
    if (!db_.IsOpen()) return;
    db_.CardIndex = position;
    db_.Seek(position);
    if (db_.Eof()) return;
    db_.ReadCard(position);
    form_.ShowCard();
}

void TCardFileTool::CheckBox1Click() {
    SetFileAttributes(databaseName_.toStdString(), kFileAttributeHidden);
    form_.ShowCard();
}

}  // namespace vandrex
