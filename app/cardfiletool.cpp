#include "app/cardfiletool.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include "app/mainwindow.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/fileattributes.h"

namespace vandrex {

namespace {
// Edits in file order: Room (Edit11) is the fourth field, EMail (Edit10) the last.
const char* const kEditNames[kCardFieldCount] = {"Edit1", "Edit2", "Edit3", "Edit11", "Edit4", "Edit5",
                                                 "Edit6", "Edit7", "Edit8", "Edit9",  "Edit10"};

QString fromAnsi(const std::string& bytes) {
    const std::u32string text = DecodeAnsi(bytes);
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toAnsi(const QString& text) {
    const QList<uint> ucs = text.toUcs4();
    return EncodeAnsi(std::u32string(ucs.begin(), ucs.end()));
}
}  // namespace

TCardFileTool::TCardFileTool(TForm1* form) : QObject(form), form_(form) {
    for (int i = 0; i < kCardFieldCount; ++i) edits_[i] = form->control<QLineEdit>(kEditNames[i]);

    db_.OnShow = [this] { form_->ShowCard(); };
    db_.EditTexts = [this] { return editTexts(); };
    db_.ClearEdits = [this] { clearEdits(); };
    db_.OnSliderMax = [this](int max) { setSliderMax(max); };

    connect(form->control<QPushButton>("New"), &QPushButton::clicked, this, &TCardFileTool::NewClick);
    connect(form->control<QPushButton>("Previous"), &QPushButton::clicked, this, &TCardFileTool::PreviousClick);
    connect(form->control<QPushButton>("WebPhoneButton2"), &QPushButton::clicked, this,
            &TCardFileTool::PreviousClick);
    connect(form->control<QPushButton>("Next"), &QPushButton::clicked, this, &TCardFileTool::NextClick);
    connect(form->control<QPushButton>("WebPhoneButton3"), &QPushButton::clicked, this, &TCardFileTool::NextClick);
    connect(form->control<QPushButton>("Save"), &QPushButton::clicked, this, &TCardFileTool::SaveClick);
    connect(form->control<QPushButton>("Erase"), &QPushButton::clicked, this, &TCardFileTool::EraseClick);
    connect(form->control<QSlider>("TrackBar1"), &QSlider::valueChanged, this, &TCardFileTool::TrackBar1Change);
    connect(form->control<QCheckBox>("CheckBox1"), &QCheckBox::toggled, this, &TCardFileTool::CheckBox1Click);
    connect(form->control<QPushButton>("PlayerExitButton"), &QPushButton::clicked, this,
            &TCardFileTool::PlayerExitClick);
}

CardTexts TCardFileTool::editTexts() const {
    CardTexts texts;
    for (int i = 0; i < kCardFieldCount; ++i) {
        const QString t = edits_[i]->text();
        texts[i] = t == shownText_[i] ? shownBytes_[i] : toAnsi(t);
    }
    return texts;
}

void TCardFileTool::clearEdits() {
    for (int i = 0; i < kCardFieldCount; ++i) {
        edits_[i]->clear();
        shownBytes_[i].clear();
        shownText_[i].clear();
    }
}

void TCardFileTool::ShowFields() {
    for (int i = 0; i < kCardFieldCount; ++i) {
        shownBytes_[i] = db_.CardBuffer.text(static_cast<CardField>(i));
        edits_[i]->setText(fromAnsi(shownBytes_[i]));
        shownText_[i] = edits_[i]->text();
    }
}

void TCardFileTool::setSliderMax(int max) {
    QSlider* slider = form_->control<QSlider>("TrackBar1");
    const QSignalBlocker block(slider);
    // A slider cannot hold a maximum below its minimum; an empty file's -1
    // shows as an empty range.
    slider->setMaximum(max);
}

bool TCardFileTool::lastNameGiven() const { return !edits_[static_cast<int>(CardField::LastName)]->text().isEmpty(); }

bool TCardFileTool::HasRecords() const { return db_.IsOpen() && db_.RecordCount() > 0; }

void TCardFileTool::OpenDatabase() {
    clearEdits();
    db_.CardIndex = 0;
    db_.Open(form_->DatabaseName.toStdString());
}

void TCardFileTool::CloseDatabase() { db_.Close(); }

void TCardFileTool::StoreShownCardAndSort() {
    db_.Seek(db_.CardIndex);
    db_.StoreCard();
    db_.SortCards();
}

void TCardFileTool::NewClick() {
    if (!form_->control<QPushButton>("New")->isEnabled()) {
        ShowMessage(QStringLiteral("Clones may not share the same path"));
        return;
    }
    if (!lastNameGiven()) {
        ShowMessage(form_->MsgLastName);
        return;
    }
    db_.AppendEmptyCard();
    db_.Seek(db_.CardIndex);
    setSliderMax(db_.CardIndex);
    form_->ShowCard();
    db_.Recount();
}

void TCardFileTool::PreviousClick() {
    if (!lastNameGiven()) {
        ShowMessage(form_->MsgLastName);
        return;
    }
    if (db_.CardIndex - 1 < 0) {
        db_.CardIndex = 0;
        db_.Seek(0);
        return;
    }
    db_.CardIndex -= 1;
    db_.ReadCard(db_.CardIndex);
    form_->ShowCard();
}

void TCardFileTool::NextClick() {
    if (!lastNameGiven()) {
        ShowMessage(form_->MsgLastName);
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
    form_->ShowCard();
}

void TCardFileTool::SaveClick() {
    if (!lastNameGiven()) {
        ShowMessage(form_->MsgLastName);
        return;
    }
    const int shown = db_.CardIndex;
    db_.Seek(db_.CardIndex);
    db_.StoreCard();
    // Another copy may have moved the card; the store followed it, and the
    // number on screen follows too.
    if (db_.CardIndex != shown) {
        form_->control<QLabel>("Panel1")->setText(QString::number(db_.CardIndex));
        QSlider* slider = form_->control<QSlider>("TrackBar1");
        const QSignalBlocker block(slider);
        slider->setValue(db_.CardIndex);
    }
}

void TCardFileTool::EraseClick() {
    if (!form_->control<QPushButton>("New")->isEnabled()) {
        ShowMessage(QStringLiteral("Clones may not share the same path"));
        return;
    }
    clearEdits();
    // Blank the card shown. The file position is not always at it (after
    // activation it stands after card 0), and blanking whatever record it
    // points at would destroy a card the user never chose.
    db_.Seek(db_.CardIndex);
    db_.StoreCard();
    db_.EraseCardAt();
    db_.Recount();
    db_.Seek(db_.CardIndex);
    db_.SortCards();
}

void TCardFileTool::TrackBar1Change(int position) {
    if (!db_.IsOpen()) return;
    db_.CardIndex = position;
    db_.Seek(position);
    if (db_.Eof()) return;
    db_.ReadCard(position);
    form_->ShowCard();
}

void TCardFileTool::CheckBox1Click() {
    SetFileAttributes(form_->DatabaseName.toStdString(), kFileAttributeHidden);
    form_->ShowCard();
}

void TCardFileTool::PlayerExitClick() {
    QCheckBox* player = form_->control<QCheckBox>("CheckBox1");
    player->setEnabled(true);
    player->setChecked(false);
    form_->control<QAction>("RecorderStatusAction")->setEnabled(false);
    form_->control<QAction>("Compress1")->setEnabled(false);
    if (auto* r20 = form_->findChild<QRadioButton*>(QStringLiteral("RadioButton20K"))) r20->setChecked(true);
    db_.SortCards();
}

}  // namespace vandrex
