#include "app/panels/mainmenu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/panels/builders.h"

namespace vandrex {

TMainMenu::TMainMenu(QMainWindow* form) : QObject(form) {
    MainMenu1 = ui::Named(new QMenuBar(form), "MainMenu1");
    form->setMenuBar(MainMenu1);

    Info1 = ui::Named(new QAction(QStringLiteral("&Info"), MainMenu1), "Info1");
    MainMenu1->addAction(Info1);

    Video = ui::Submenu(MainMenu1, "Video", QStringLiteral("Video"));
    Source1 = ui::Item(Video, "Source1", QStringLiteral("Source"), false);
    Format1 = ui::Item(Video, "Format1", QStringLiteral("Format"), false);
    Compress1 = ui::Item(Video, "Compress1", QStringLiteral("Codecs"), false);
    Display1 = ui::Item(Video, "Display1", QStringLiteral("Display"), false);
    QMenu* drivers = ui::Submenu(Video, "Driver1", QStringLiteral("Drivers"));
    const char* const slotNames[] = {"D1", "D2", "D3", "D4", "D5"};
    for (int i = 0; i < 5; ++i) {
        driverSlots_[i] = ui::Item(drivers, slotNames[i], QString());
        driverSlots_[i]->setVisible(false);
    }
    Video->addMenu(drivers);
    RecorderStatus = ui::Submenu(Video, "RecorderStatus", QStringLiteral("Recording"));
    Video->addMenu(RecorderStatus);
    RM_Editor = ui::Item(Video, "RM_Editor", QStringLiteral("Rm Editor"));
    MainMenu1->addMenu(Video);

    Modem2 = ui::Submenu(MainMenu1, "Modem2", QStringLiteral("Modem"));
    QAction* config = ui::Item(Modem2, "Config1", QStringLiteral("Config"));
    QAction* device = ui::Item(Modem2, "Device1", QStringLiteral("Location"));
    MainMenu1->addMenu(Modem2);

    connect(Info1, &QAction::triggered, this, &TMainMenu::Info1Clicked);
    connect(RM_Editor, &QAction::triggered, this, &TMainMenu::RM_EditorClicked);
    connect(Source1, &QAction::triggered, this, &TMainMenu::Source1Clicked);
    connect(Format1, &QAction::triggered, this, &TMainMenu::Format1Clicked);
    connect(Display1, &QAction::triggered, this, &TMainMenu::Display1Clicked);
    connect(Compress1, &QAction::triggered, this, &TMainMenu::Compress1Clicked);
    connect(config, &QAction::triggered, this, &TMainMenu::Config1Clicked);
    connect(device, &QAction::triggered, this, &TMainMenu::Device1Clicked);
}

void TMainMenu::ShowCaptureItems() {
    for (QAction* a : {Format1, Display1, Source1}) a->setVisible(true);
}

void TMainMenu::ListCaptureDrivers(const QStringList& drivers) {
    for (int i = 0; i < 5 && i < drivers.size(); ++i) {
        driverSlots_[i]->setText(drivers[i]);
        if (i == 0 || drivers[i] != drivers[i - 1]) driverSlots_[i]->setVisible(true);
    }
}

void TMainMenu::EnableCaptureItems(bool on) {
    for (QAction* a : {Source1, Format1, Display1}) a->setEnabled(on);
    Compress1->setEnabled(false);
    RecorderStatus->menuAction()->setEnabled(false);
}

void TMainMenu::DisableRecorderItems() {
    RecorderStatus->menuAction()->setEnabled(false);
    Compress1->setEnabled(false);
}

void TMainMenu::Layout(WindowMode mode) {
    const bool cards = mode != WindowMode::Player;
    Info1->setVisible(cards);
    Video->menuAction()->setVisible(cards);
    Modem2->menuAction()->setVisible(cards);
}

}  // namespace vandrex
