#include "app/panels/cardpanel.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "app/panels/builders.h"
#include "platform/codepage.h"

namespace vandrex {

namespace {

QString fromAnsi(const std::string& bytes) {
    const std::u32string text = DecodeAnsi(bytes);
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toAnsi(const QString& text) {
    const QList<uint> ucs = text.toUcs4();
    return EncodeAnsi(std::u32string(ucs.begin(), ucs.end()));
}

}  // namespace

TCardPanel::TCardPanel(QWidget* c, QObject* parent) : QObject(parent) {
    // Rows in the order a reader fills in a card; field is the file order.
    struct Row { const char* label; const char* caption; const char* edit; CardField field; };
    const Row rows[] = {
        {"Label1", "First name", "Edit1", CardField::FirstName}, {"Label2", "Last name", "Edit2", CardField::LastName},
        {"Label4", "Address", "Edit3", CardField::Address},      {"Label11", "Room", "Edit11", CardField::Room},
        {"Label7", "Zipcode", "Edit4", CardField::Zipcode},      {"Label5", "City", "Edit5", CardField::City},
        {"Label6", "State", "Edit6", CardField::State},          {"Label3", "Phone", "Edit7", CardField::Phone},
        {"Label8", "Fax", "Edit8", CardField::Fax},              {"Label9", "Mobile", "Edit9", CardField::Mobile},
        {"Label10", "E-Mail", "Edit10", CardField::EMail},
    };
    int y = 6;
    for (const Row& r : rows) {
        const int f = static_cast<int>(r.field);
        labels_[f] = ui::Label(c, r.label, QString::fromLatin1(r.caption), 8, y + 3, 60);
        edits_[f] = ui::Edit(c, r.edit, 70, y, 122);
        y += 23;
    }

    Panel1 = ui::Named(new QLabel(QStringLiteral("0"), c), "Panel1");
    Panel1->setGeometry(310, 3, 67, 18);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);

    Navigatie = ui::Group(c, "Navigatie", QStringLiteral(" Navigatie "), 199, 182, 189, 46);
    Previous = ui::Button(Navigatie, "Previous", QStringLiteral("<<"), 8, 17, 54, 23, QStringLiteral("Show previous Card"));
    Next = ui::Button(Navigatie, "Next", QStringLiteral(">>"), 66, 17, 54, 23, QStringLiteral("Show next Card"));
    New = ui::Button(Navigatie, "New", QStringLiteral("&New"), 127, 17, 54, 23,
                     QStringLiteral("Create room for a new Card"));
    Correctie = ui::Group(c, "Correctie", QStringLiteral(" Correctie "), 199, 230, 126, 46);
    Save = ui::Button(Correctie, "Save", QStringLiteral("&Store"), 8, 17, 54, 23,
                      QStringLiteral("Store this Card on File"));
    Erase = ui::Button(Correctie, "Erase", QStringLiteral("Erase"), 66, 17, 54, 23, QStringLiteral("Erase Selected Card"));
    // Close stands apart: other modes hide the groups but keep it reachable.
    Close = ui::Button(c, "Close", QStringLiteral("&Close"), 330, 247, 54, 23, QStringLiteral("Terminate Application"));

    Slider = ui::Group(c, "Slider", QStringLiteral(" Search "), 4, 284, 305, 44);
    TrackBar1 = ui::Named(new QSlider(Qt::Horizontal, Slider), "TrackBar1");
    TrackBar1->setGeometry(8, 16, 289, 22);
    TrackBar1->setRange(0, 0);
    TrackBar1->setToolTip(QStringLiteral("[Fast] Scrolling through your Database"));

    connect(New, &QPushButton::clicked, this, &TCardPanel::NewClicked);
    connect(Previous, &QPushButton::clicked, this, &TCardPanel::PreviousClicked);
    connect(Next, &QPushButton::clicked, this, &TCardPanel::NextClicked);
    connect(Save, &QPushButton::clicked, this, &TCardPanel::SaveClicked);
    connect(Erase, &QPushButton::clicked, this, &TCardPanel::EraseClicked);
    connect(Close, &QPushButton::clicked, this, &TCardPanel::CloseClicked);
    connect(TrackBar1, &QSlider::valueChanged, this, &TCardPanel::TrackBar1Changed);
}

void TCardPanel::Show(const TCardRecord& card) {
    for (int i = 0; i < kCardFieldCount; ++i) {
        shownBytes_[i] = card.text(static_cast<CardField>(i));
        edits_[i]->setText(fromAnsi(shownBytes_[i]));
        shownText_[i] = edits_[i]->text();
    }
    setEditsVisible(true);
}

CardTexts TCardPanel::Texts() const {
    CardTexts texts;
    for (int i = 0; i < kCardFieldCount; ++i) {
        const QString t = edits_[i]->text();
        texts[i] = t == shownText_[i] ? shownBytes_[i] : toAnsi(t);
    }
    return texts;
}

QString TCardPanel::Text(CardField field) const { return edits_[static_cast<int>(field)]->text(); }

void TCardPanel::Clear() {
    for (int i = 0; i < kCardFieldCount; ++i) {
        edits_[i]->clear();
        shownBytes_[i].clear();
        shownText_[i].clear();
    }
}

bool TCardPanel::LastNameGiven() const { return !Text(CardField::LastName).isEmpty(); }

void TCardPanel::ShowNumber(int cardIndex) {
    Panel1->setText(QString::number(cardIndex));
    const QSignalBlocker block(TrackBar1);
    TrackBar1->setValue(cardIndex);
}

void TCardPanel::SetSliderMax(int max) {
    const QSignalBlocker block(TrackBar1);
    // An empty file gives -1; a lower maximum would drag the minimum down
    // with it, and card -1 does not exist.
    TrackBar1->setRange(0, std::max(max, 0));
}

void TCardPanel::setEditsVisible(bool visible) {
    for (int i = 0; i < kCardFieldCount; ++i) {
        edits_[i]->setVisible(visible);
        labels_[i]->setVisible(visible);
    }
}

void TCardPanel::setCommandsEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(TrackBar1), static_cast<QWidget*>(Erase), static_cast<QWidget*>(Save),
                       static_cast<QWidget*>(New), static_cast<QWidget*>(Previous), static_cast<QWidget*>(Next)})
        w->setEnabled(enabled);
}

void TCardPanel::ApplyCloneState(bool isClone) { setCommandsEnabled(!isClone); }

void TCardPanel::Layout(WindowMode mode, const TCloneState& clone) {
    if (mode == WindowMode::Player) {
        for (QWidget* w : {static_cast<QWidget*>(Previous), static_cast<QWidget*>(Next),
                           static_cast<QWidget*>(Erase), static_cast<QWidget*>(Save),
                           static_cast<QWidget*>(TrackBar1)})
            w->setEnabled(false);
        for (QWidget* w : {static_cast<QWidget*>(New), static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Slider)})
            w->setVisible(false);
        setEditsVisible(false);
        return;
    }
    Slider->setTitle(QStringLiteral(" Search "));
    Panel1->setVisible(true);
    Slider->setVisible(true);
    const bool text = mode == WindowMode::TextMail;
    // The card itself is the first copy's; a clone keeps its hands off.
    setEditsVisible(text && !clone.IsClone);
    for (QWidget* w : {static_cast<QWidget*>(New), static_cast<QWidget*>(Save), static_cast<QWidget*>(Navigatie),
                       static_cast<QWidget*>(Correctie)})
        w->setVisible(text);
    if (text) {
        Navigatie->setTitle(QStringLiteral(" Navigatie "));
        if (clone.SenderActive)
            for (QPushButton* b : {Save, Erase, New}) b->setEnabled(false);
    }
    Slider->resize(text ? 305 : 105, Slider->height());
    TrackBar1->resize(text ? 289 : 89, TrackBar1->height());
}

void TCardPanel::LockForClones() {
    for (QPushButton* b : {Save, Erase, New, Close}) b->setEnabled(false);
}

void TCardPanel::UnlockAfterClones() {
    for (QPushButton* b : {Save, Erase, New, Previous, Next, Close}) b->setEnabled(true);
    TrackBar1->setEnabled(true);
    setEditsVisible(true);
}

bool TCardPanel::CommandsLocked() const { return !New->isEnabled(); }

}  // namespace vandrex

namespace vandrex {
void TCardPanel::ShowClose() { Close->setVisible(true); }
}  // namespace vandrex
