#include "app/form1ui.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTextEdit>
#include <QToolButton>

#include "app/statusbar.h"
#include "controls/led.h"
#include "controls/ledlabel.h"

namespace vandrex {

namespace {

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* label(QWidget* p, const char* name, const QString& text, int x, int y, int w, int h = 16) {
    auto* l = named(new QLabel(text, p), name);
    l->setGeometry(x, y, w, h);
    return l;
}

QLineEdit* edit(QWidget* p, const char* name, int x, int y, int w, const QString& hint = {}, int h = 21) {
    auto* e = named(new QLineEdit(p), name);
    e->setGeometry(x, y, w, h);
    e->setToolTip(hint);
    return e;
}

QPushButton* button(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                    const QString& hint = {}) {
    auto* b = named(new QPushButton(caption, p), name);
    b->setGeometry(x, y, w, h);
    b->setToolTip(hint);
    return b;
}

QToolButton* speed(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                   const QString& hint = {}) {
    auto* b = named(new QToolButton(p), name);
    b->setText(caption);
    b->setGeometry(x, y, w, h);
    b->setToolTip(hint);
    return b;
}

QCheckBox* check(QWidget* p, const char* name, const QString& caption, int x, int y, int w,
                 const QString& hint = {}) {
    auto* c = named(new QCheckBox(caption, p), name);
    c->setGeometry(x, y, w, 17);
    c->setToolTip(hint);
    return c;
}

QRadioButton* radio(QWidget* p, const char* name, const QString& caption, int x, int y, int w) {
    auto* r = named(new QRadioButton(caption, p), name);
    r->setGeometry(x, y, w, 17);
    return r;
}

QGroupBox* group(QWidget* p, const char* name, const QString& caption, int x, int y, int w, int h,
                 const QString& hint = {}) {
    auto* g = named(new QGroupBox(caption, p), name);
    g->setGeometry(x, y, w, h);
    g->setToolTip(hint);
    return g;
}

QFrame* picture(QWidget* p, const char* name, int x, int y, int w, int h, const QString& hint = {}) {
    auto* f = named(new QFrame(p), name);
    f->setGeometry(x, y, w, h);
    f->setFrameShape(QFrame::Box);
    f->setFrameShadow(QFrame::Sunken);
    f->setToolTip(hint);
    return f;
}

TLED* led(QWidget* p, const char* name, TLEDColor color, int x, int y, const QString& hint) {
    auto* l = named(new TLED(p), name);
    l->setColor(color);
    l->move(x, y);
    l->setToolTip(hint);
    return l;
}

QAction* item(QMenu* menu, const char* name, const QString& caption, bool enabled = true) {
    auto* a = named(new QAction(caption, menu), name);
    a->setEnabled(enabled);
    menu->addAction(a);
    return a;
}

QMenu* submenu(QWidget* parent, const char* name, const QString& caption) {
    auto* m = named(new QMenu(caption, parent), name);
    m->menuAction()->setObjectName(QString::fromLatin1(name) + "Action");
    return m;
}

void buildMenu(QMainWindow* form) {
    QMenuBar* bar = named(new QMenuBar(form), "MainMenu1");
    form->setMenuBar(bar);

    QAction* info = named(new QAction(QStringLiteral("&Info"), bar), "Info1");
    bar->addAction(info);

    QMenu* video = submenu(bar, "Video", QStringLiteral("Video"));
    item(video, "Source1", QStringLiteral("Source"), false);
    item(video, "Format1", QStringLiteral("Format"), false);
    item(video, "Compress1", QStringLiteral("Codecs"), false);
    item(video, "Display1", QStringLiteral("Display"), false);
    QMenu* drivers = submenu(video, "Driver1", QStringLiteral("Drivers"));
    for (const char* slot : {"D1", "D2", "D3", "D4", "D5"}) item(drivers, slot, QString())->setVisible(false);
    video->addMenu(drivers);
    QMenu* recording = submenu(video, "RecorderStatus", QStringLiteral("Recording"));
    video->addMenu(recording);
    item(video, "RM_Editor", QStringLiteral("Rm Editor"));
    bar->addMenu(video);

    QMenu* modem = submenu(bar, "Modem2", QStringLiteral("Modem"));
    item(modem, "Config1", QStringLiteral("Config"));
    item(modem, "Device1", QStringLiteral("Location"));
    bar->addMenu(modem);

    QMenu* mixer = submenu(bar, "Mixer", QStringLiteral("Player"));
    item(mixer, "LoadMixFile", QStringLiteral("Load"));
    item(mixer, "CreateMixFile", QStringLiteral("Create"));
    item(mixer, "PlayList", QStringLiteral("PlayList Only"));
    item(mixer, "WavPlayList", QStringLiteral("R8 + PlayList"), false);
    item(mixer, "WavPlayListDel", QStringLiteral("R8 + List + Delete"), false);
    QMenu* shuffle = submenu(mixer, "Shuffle", QStringLiteral("Shuffle"));
    item(shuffle, "RandoMixNormal", QStringLiteral("Normal"))->setCheckable(true);
    item(shuffle, "Favorite", QStringLiteral("Favorite"), false);
    item(shuffle, "AI1", QStringLiteral("AI"), false);
    item(shuffle, "MixOverlapMenu", QStringLiteral("Overlap"), false);
    mixer->addMenu(shuffle);
    item(mixer, "MixFader", QStringLiteral("Fade"))->setCheckable(true);
    item(mixer, "MixRepeat", QStringLiteral("NonStop"))->setCheckable(true);
    mixer->addSeparator();
    item(mixer, "DJManual", QStringLiteral("Manual"))->setCheckable(true);
    item(mixer, "DJAutoMatic", QStringLiteral("Automatic"), false)->setCheckable(true);
    bar->addMenu(mixer);

    // Player commands on the menu bar itself, shown once a playlist is loaded.
    for (auto [name, caption] : {std::pair{"StartMix", "Start"}, {"StopMix", "Stop"}, {"PauseMix", "||"},
                                 {"PreviousMixItem", "<<"}, {"NextMixItem", ">>"}}) {
        QAction* a = named(new QAction(QString::fromLatin1(caption), bar), name);
        a->setVisible(false);
        bar->addAction(a);
    }
    QMenu* track = submenu(bar, "MixTrackNumber", QStringLiteral("T0"));
    item(track, "MixTrackTitle", QStringLiteral("Title:    "));
    item(track, "MixCDTitle", QStringLiteral("Author: "));
    item(track, "MixTrackCopyRight", QStringLiteral("Copyright: "));
    bar->addMenu(track)->setVisible(false);
    for (auto [name, caption] : {std::pair{"MixLevelPlus", "+"}, {"MixLevelMin", "--"}}) {
        QAction* a = named(new QAction(QString::fromLatin1(caption), bar), name);
        a->setVisible(false);
        bar->addAction(a);
    }
}

// The eleven card edits with their labels, in the order a reader fills in a card.
void buildCard(QWidget* c) {
    struct Row { const char* label; const char* caption; const char* edit; };
    const Row rows[] = {
        {"Label1", "First name", "Edit1"}, {"Label2", "Last name", "Edit2"}, {"Label4", "Address", "Edit3"},
        {"Label11", "Room", "Edit11"},     {"Label7", "Zipcode", "Edit4"},   {"Label5", "City", "Edit5"},
        {"Label6", "State", "Edit6"},      {"Label3", "Phone", "Edit7"},     {"Label8", "Fax", "Edit8"},
        {"Label9", "Mobile", "Edit9"},     {"Label10", "E-Mail", "Edit10"},
    };
    int y = 6;
    for (const Row& r : rows) {
        label(c, r.label, QString::fromLatin1(r.caption), 8, y + 3, 60);
        edit(c, r.edit, 70, y, 122);
        y += 23;
    }
}

void buildPictureArea(QWidget* c) {
    group(c, "Picture", QString(), 196, 0, 192, 282);
    auto* info = named(new QLabel(c), "Image2");
    info->setGeometry(202, 4, 16, 16);
    info->setText(QStringLiteral("i"));
    info->setAlignment(Qt::AlignCenter);
    info->setFrameShape(QFrame::Panel);
    info->setToolTip(QStringLiteral("Double-click for help"));
    auto* instance = named(new QLabel(c), "Image3");
    instance->setGeometry(222, 4, 16, 16);
    instance->setFrameShape(QFrame::Panel);
    auto* panel1 = named(new QLabel(QStringLiteral("0"), c), "Panel1");
    panel1->setGeometry(310, 3, 67, 18);
    panel1->setAlignment(Qt::AlignCenter);
    panel1->setFrameShape(QFrame::Panel);
    panel1->setFrameShadow(QFrame::Sunken);
    picture(c, "Image1", 199, 23, 178, 136, QStringLiteral("Line icon"));
    picture(c, "VideoCap1", 199, 23, 178, 136, QStringLiteral("Capture monitor"))->hide();
    picture(c, "Rec_Image1", 356, 4, 16, 16)->hide();
    picture(c, "SDCard_Image", 202, 165, 32, 32)->hide();
    auto* player = picture(c, "Real_Player_1", 199, 23, 178, 136);
    player->setProperty("Controls", QStringLiteral("ImageWindow"));
    player->hide();
    auto* display = named(new TLEDLabel(c), "NEC_Display_LED");
    display->setGeometry(202, 162, 60, 17);
    display->setCaption(QStringLiteral("i-mode"));
    display->setColor(lcGreen);
    display->setToolTip(QStringLiteral("Non LZW Compression / Requires no License."));
    led(c, "PocketPC_LED", lcYellow, 266, 164, QStringLiteral("PocketPC target"));
}

void buildCommands(QWidget* c) {
    QGroupBox* nav = group(c, "Navigatie", QStringLiteral(" Navigatie "), 199, 182, 189, 46);
    button(nav, "Previous", QStringLiteral("<<"), 8, 17, 54, 23, QStringLiteral("Show previous Card"));
    button(nav, "Next", QStringLiteral(">>"), 66, 17, 54, 23, QStringLiteral("Show next Card"));
    button(nav, "New", QStringLiteral("&New"), 127, 17, 54, 23, QStringLiteral("Create room for a new Card"));
    QGroupBox* cor = group(c, "Correctie", QStringLiteral(" Correctie "), 199, 230, 126, 46);
    button(cor, "Save", QStringLiteral("&Store"), 8, 17, 54, 23, QStringLiteral("Store this Card on File"));
    button(cor, "Erase", QStringLiteral("Erase"), 66, 17, 54, 23, QStringLiteral("Erase Selected Card"));
    // Close stands apart: other modes hide the groups but keep it reachable.
    button(c, "Close", QStringLiteral("&Close"), 330, 247, 54, 23, QStringLiteral("Terminate Application"));
}

void buildSlider(QWidget* c) {
    QGroupBox* g = group(c, "Slider", QStringLiteral(" Search "), 4, 284, 305, 44);
    auto* t = named(new QSlider(Qt::Horizontal, g), "TrackBar1");
    t->setGeometry(8, 16, 289, 22);
    t->setRange(0, 0);
    t->setToolTip(QStringLiteral("[Fast] Scrolling through your Database"));
    check(c, "CheckBox1", QStringLiteral("Player"), 316, 290, 70, QStringLiteral("Player mode"));
    check(c, "VideoPhone", QStringLiteral("HTML"), 316, 308, 70,
          QStringLiteral("Enable HTML [i-mode] with RealMedia"));
}

// Phone group (data phone) and data group (file transfer), shown in HTML mode
// where the card edits were.
void buildPhone(QWidget* c) {
    QGroupBox* phone = group(c, "WebPhoneDialer", QStringLiteral(" Phone "), 4, 0, 188, 130);
    edit(phone, "WebPhoneIP_Edit2", 8, 18, 172, QStringLiteral("Name or ID of Recipient"));
    edit(phone, "WebPhoneIP_Edit1", 8, 42, 172, QStringLiteral("PhoneNumber of Recipient"))->setReadOnly(true);
    edit(phone, "WebPhoneEmail_Edit1", 8, 66, 172, QStringLiteral("E-mail Address of Recipient"))
        ->setReadOnly(true);
    button(phone, "WebPhoneButton2", QStringLiteral("<<"), 8, 96, 40, 25, QStringLiteral("Show previous Card"));
    button(phone, "WebPhoneButton1", QStringLiteral("Phone"), 52, 96, 84, 25,
           QStringLiteral("Call the [Phone] Number"));
    button(phone, "WebPhoneButton3", QStringLiteral(">>"), 140, 96, 40, 25, QStringLiteral("Show next Card"));
    auto* ip = named(new TLEDLabel(c), "LEDWebPhoneIPLabel1");
    ip->setGeometry(8, 132, 180, 17);
    ip->setCaption(QStringLiteral("Line"));
    ip->setColor(lcGreen);
    ip->setToolTip(QStringLiteral("Phone/Line connection"));

    QGroupBox* data = group(c, "DataGroupBox", QStringLiteral(" Data "), 4, 150, 188, 132);
    speed(data, "SpeedButtonSend", QStringLiteral("Send"), 8, 18, 40, 22,
          QStringLiteral("Send File if Connected [Select with DialogBox]"));
    speed(data, "SpeedButtonReceive", QStringLiteral("Receive"), 52, 18, 44, 22,
          QStringLiteral("Receive File if Connected [Led Signal if new file is Incoming]"));
    speed(data, "SpeedButtonStop", QStringLiteral("Stop"), 100, 18, 36, 22, QStringLiteral("Stop Dataflow / Speak"));
    speed(data, "SpeedButtonResume", QStringLiteral("Resume"), 140, 18, 42, 22,
          QStringLiteral("Resume Dataflow / Don't Speak"));
    led(data, "LED_Send", lcRed, 22, 44, QStringLiteral("File Transfer Led"));
    led(data, "LED_Receive", lcGreen, 68, 44, QStringLiteral("File Receive led"));
    led(data, "LED_Stop", lcRed, 112, 44, QStringLiteral("Data flow Led"));
    led(data, "LED_Resume", lcGreen, 156, 44, QStringLiteral("Resume Data flow Led"));
    led(data, "LED_SendJPEG", lcYellow, 8, 62, QStringLiteral("Picture [Phone] Transfer Led"));
    auto* bar = named(new QProgressBar(data), "FileTransferProgressBar");
    bar->setGeometry(24, 62, 156, 13);
    bar->setTextVisible(false);
    bar->setValue(0);
    auto* bytes = named(new TStatusBar(data), "FileTransferStatusBar");
    bytes->setGeometry(8, 80, 172, 19);
    bytes->addPanel(172, Qt::AlignLeft, QString());
    picture(data, "BitmapDisplay", 8, 102, 172, 24, QStringLiteral("Received picture"));
}

// Snapshot group (" Cam ") and the GIF optimizer; the probe panel shares its place.
void buildSnapshot(QWidget* c) {
    QGroupBox* cam = group(c, "Zozadi", QStringLiteral(" Cam "), 114, 284, 195, 44);
    speed(cam, "ZozadiFotoBtn1", QStringLiteral("Snap"), 8, 16, 48, 22, QStringLiteral("Take Snapshot [Send]"));
    led(cam, "LED_Timer", lcGreen, 62, 21, QStringLiteral("Timer Active Led"));
    led(cam, "LED_TimerActive", lcYellow, 80, 21, QStringLiteral("Timer Led"));
    led(cam, "GIFSize_LED", lcRed, 98, 21, QStringLiteral("Page size warning led [GIF to big - reduce size]"));
    led(cam, "LED_i_modeGIF", lcYellow, 116, 21, QStringLiteral("FTP connection"));
    cam->hide();

    QGroupBox* opt = group(c, "OptimizerGroupBox", QStringLiteral(" GIF Optimizer "), 4, 328, 228, 32);
    auto* fitWidth = named(new TLEDLabel(opt), "Fit_Hor_LED");
    fitWidth->setGeometry(6, 13, 50, 17);
    fitWidth->setCaption(QStringLiteral("Width"));
    fitWidth->setColor(lcGreen);
    fitWidth->setLit(true);
    auto* fitHeight = named(new TLEDLabel(opt), "Fit_Vert_LED");
    fitHeight->setGeometry(58, 13, 52, 17);
    fitHeight->setCaption(QStringLiteral("Height"));
    fitHeight->setColor(lcGreen);
    for (int i = 1; i <= 5; ++i) {
        const QByteArray name = "LED_Animation_" + QByteArray::number(i);
        led(opt, name.constData(), lcYellow, 112 + 16 * i, 15, QStringLiteral("Frame %1").arg(i));
    }
    opt->hide();
    QGroupBox* probe = group(c, "Probe_GroupBox", QStringLiteral(" Probe "), 4, 328, 228, 32,
                             QStringLiteral("Probe is a UDP/TCP Phone Tool !"));
    led(probe, "Probe_LED", lcRed, 8, 12, QStringLiteral("Capture in Progress"));
    probe->hide();
    check(c, "Timer_ProbeBox", QStringLiteral("Probe"), 316, 326, 70,
          QStringLiteral("Send Video by UDP/TCP  [Caution !]"))
        ->hide();
}

// The e-mail group: server, subject, text, signature, picture choice, login/send.
void buildMail(QWidget* c) {
    QGroupBox* m = group(c, "MailEntryForm", QStringLiteral(" E-mail "), 4, 362, 384, 226);
    label(m, "SMTPLabel", QStringLiteral("Smtp:"), 8, 21, 30);
    edit(m, "SMTPEdit", 40, 18, 140, QStringLiteral("E-mail SMTP Server address "));
    check(m, "MailChatBox", QStringLiteral("Chat"), 190, 20, 50, QStringLiteral("Chat [Phone] mode"));
    check(m, "FTPCheckBox", QStringLiteral("Ftp"), 244, 20, 44, QStringLiteral("Ftp settings"));
    button(m, "Connection", QStringLiteral("&Login"), 292, 16, 84, 23,
           QStringLiteral("Make a Connection wth Mail Server"));

    auto* subject = edit(m, "Onderwerp", 8, 44, 218, QStringLiteral("Subject of your E-mail Message"));
    subject->setMaxLength(40);
    auto* key = edit(m, "Key", 178, 44, 48, QStringLiteral("Fill in your Personal Signature [Authentication] "));
    key->setMaxLength(41);
    key->hide();
    check(m, "CheckBox2", QStringLiteral("Sign"), 232, 46, 52, QStringLiteral("Enable Signature mode"));
    button(m, "SendBtn", QStringLiteral("&Send"), 292, 42, 84, 23,
           QStringLiteral("Begin E-mail Transfer [Upload your gif/jpg or RealMedia file first]"));

    auto* sheet = named(new QPlainTextEdit(m), "MailSheet");
    sheet->setGeometry(8, 68, 368, 135);
    sheet->setToolTip(QStringLiteral("Text area with WordWrap [50 Characters wide]"));
    sheet->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // Chat (phone chat mode) shares the place of subject and text.
    auto* memo = named(new QPlainTextEdit(m), "MailEntryChatMemo");
    memo->setGeometry(8, 68, 368, 111);
    memo->setReadOnly(true);
    memo->hide();
    auto* chat = edit(m, "MailEntryEdit", 8, 182, 340, QStringLiteral("Chat Line [Phone mode]"));
    chat->setMaxLength(50);
    chat->hide();
    button(m, "MailEntryEditButton", QStringLiteral("+"), 352, 182, 24, 21)->hide();

    // FTP settings share the place too.
    const struct { const char* label; const char* caption; const char* edit; const char* hint; int y; } ftp[] = {
        {"RemoteHostLabel", "Host:", "RemoteHost_Edit", "FTP Server address", 44},
        {"UserIDLabel", "User:", "UserIDEdit", "FTP User ID", 68},
        {"PasswordLabel", "Password:", "PassWordEdit", "FTP Password", 92},
        {"PortLabel", "Port:", "PortEdit", "FTP Port", 116},
    };
    for (const auto& f : ftp) {
        label(m, f.label, QString::fromLatin1(f.caption), 8, f.y + 3, 60)->hide();
        edit(m, f.edit, 70, f.y, 200, QString::fromLatin1(f.hint))->hide();
    }
    m->findChild<QLineEdit*>("PassWordEdit")->setEchoMode(QLineEdit::Password);
    m->findChild<QLineEdit*>("PortEdit")->setText(QStringLiteral("21"));
    check(m, "PassiveCheckBox", QStringLiteral("Passive"), 70, 142, 80, QStringLiteral("Passive FTP"))->hide();

    radio(m, "GIFRadioButton", QStringLiteral("gif"), 8, 206, 44);
    radio(m, "JPGRadioButton", QStringLiteral("jpg"), 54, 206, 44);
    radio(m, "AudioRadioButton", QStringLiteral("Audio"), 100, 206, 56)->setChecked(true);
    radio(m, "Video_RadioButton", QStringLiteral("Video"), 158, 206, 56);
    for (const char* n : {"GIFRadioButton", "JPGRadioButton", "AudioRadioButton", "Video_RadioButton"})
        m->findChild<QWidget*>(n)->hide();

    // HTML page controls: object sheet and colours.
    QGroupBox* html = group(c, "HTMLBox", QStringLiteral(" Html "), 236, 328, 152, 32, QStringLiteral("HTML Settings"));
    html->hide();
    auto* ud = named(new QSpinBox(html), "ObjectUpDown");
    ud->setGeometry(4, 10, 36, 20);
    ud->setRange(0, 12);
    ud->setValue(1);
    auto* sheetName = named(new QLineEdit(html), "ObjectRichEdit");
    sheetName->setGeometry(42, 10, 50, 20);
    sheetName->setReadOnly(true);
    check(html, "ObjectCheckBox", QStringLiteral("Obj"), 96, 11, 50);

    auto* web = edit(c, "WebSiteAddressEdit", 4, 590 - 22, 357, QStringLiteral("WebSite Address"));
    web->setReadOnly(true);
    web->setText(QStringLiteral("http://"));
    check(c, "WebSiteAddressCheckBox", QString(), 366, 570, 20,
          QStringLiteral("Correct WebSite Address if not complient with FTP Settings"));
}

// The player panel of player mode.
void buildPlayer(QWidget* c) {
    QGroupBox* p = group(c, "Panorama", QString(), 0, 0, 392, 293,
                         QStringLiteral("Images [135 x 289]: CDImage.jpg & Track_?.jpg"));
    // The panel covers the card side completely while it is shown.
    p->setAutoFillBackground(true);
    picture(p, "Image4", 8, 8, 289, 135);
    picture(p, "DisplayEncoder2", 302, 8, 82, 135);
    label(p, "Label12", QStringLiteral("Title"), 8, 150, 376);
    label(p, "Label14", QStringLiteral("Author"), 8, 168, 376);
    label(p, "Label15", QStringLiteral("Copyright"), 8, 186, 376);
    auto* item = named(new QSlider(Qt::Horizontal, p), "Real_PlayItem");
    item->setGeometry(8, 208, 340, 20);
    item->setRange(0, 1000);
    auto* volume = named(new QSlider(Qt::Horizontal, p), "Real_FadeVolume");
    volume->setGeometry(8, 234, 300, 20);
    volume->setRange(0, 100);
    auto* fade = edit(p, "FadeTimerEdit", 314, 234, 22, QStringLiteral("Fade time [s]"), 20);
    fade->setMaxLength(1);
    fade->setText(QStringLiteral("2"));
    speed(p, "FadeButton", QStringLiteral("Fade"), 340, 234, 30, 20);
    led(p, "LED_FadeButton", lcGreen, 374, 238, QStringLiteral("Fade Led"));
    speed(p, "DJButton", QStringLiteral("DJ"), 340, 190, 30, 18)->hide();
    led(p, "LED_DJButton", lcRed, 374, 212, QStringLiteral("DJ Manual"));
    button(p, "PlayerExitButton", QStringLiteral("Cards"), 8, 260, 66, 27,
           QStringLiteral("Leave player mode [back to the card file]"));
    p->hide();
}

}  // namespace

void BuildForm1(QMainWindow* form) {
    form->setObjectName(QStringLiteral("Form1"));
    buildMenu(form);

    auto* client = named(new QWidget(form), "ClientArea");
    form->setCentralWidget(client);
    buildCard(client);
    buildPhone(client);
    buildPictureArea(client);
    buildCommands(client);
    buildSlider(client);
    buildSnapshot(client);
    buildMail(client);
    buildPlayer(client);

    auto* status = named(new TStatusBar(client), "ConnectStatus");
    status->addPanel(290, Qt::AlignLeft, QString());
    status->addPanel(57, Qt::AlignRight, QStringLiteral("00:00:00  "));
    status->addPanel(15, Qt::AlignRight, QStringLiteral("0 %  "));
    status->setGeometry(0, kForm1ClientHeight - 19, kForm1ClientWidth, 19);
}

}  // namespace vandrex
