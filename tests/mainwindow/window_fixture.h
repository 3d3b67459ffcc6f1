#pragma once
// A main window in a fresh working folder, driven offscreen, with every
// message box recorded.

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "app/cardfiletool.h"
#include "app/mainwindow.h"
#include "app/statusbar.h"
#include "platform/dialogs.h"
#include "tests/doubles/recordingcomponents.h"

namespace vandrex::testing {

// Raw record bytes for a card given as plain texts in file order.
std::string RecordBytes(const std::vector<std::string>& fieldsInFileOrder);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// A file of cards with the given last names (first name "F" + index).
std::string CardsWithLastNames(const std::vector<std::string>& names);
// Decoded last names of a database file, in file order.
std::vector<std::string> LastNamesIn(const std::string& path);

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window on fresh recording doubles (Create) and runs its
    // first activation (Start).
    void Create();
    void Start();
    void Process();
    std::string DbPath() const;
    std::string Db() const { return ReadFile(DbPath()); }

    QLineEdit* Edit(const char* name) { return form->control<QLineEdit>(name); }
    QPushButton* Button(const char* name) { return form->control<QPushButton>(name); }
    QCheckBox* Check(const char* name) { return form->control<QCheckBox>(name); }
    QString Panel0() { return form->ConnectStatus()->panelText(0); }
    QString Panel1() { return form->control<QLabel>("Panel1")->text(); }
    void Click(const char* name) { Button(name)->click(); Process(); }

    QTemporaryDir dir;
    QString previousDir;
    ScopedRecordingDialogs dialogs;
    RecordingComponents doubles;
    std::unique_ptr<TForm1> form;
};

}  // namespace vandrex::testing
