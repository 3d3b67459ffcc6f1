#include "window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <fstream>
#include <sstream>

#include "app/application.h"
#include "app/cardrecord.h"

namespace vandrex::testing {

std::string RecordBytes(const std::vector<std::string>& fields) {
    TCardRecord r;
    for (std::size_t i = 0; i < fields.size() && i < kCardFieldCount; ++i)
        r.setText(static_cast<CardField>(i), fields[i]);
    return std::string(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string CardsWithLastNames(const std::vector<std::string>& names) {
    std::string all;
    for (std::size_t i = 0; i < names.size(); ++i) all += RecordBytes({"F" + std::to_string(i), names[i]});
    return all;
}

std::vector<std::string> LastNamesIn(const std::string& path) {
    const std::string bytes = ReadFile(path);
    std::vector<std::string> names;
    for (std::size_t off = 0; off + kCardRecordSize <= bytes.size(); off += kCardRecordSize) {
        TCardRecord r;
        std::copy(bytes.begin() + off, bytes.begin() + off + kCardRecordSize, r.bytes.begin());
        names.push_back(r.text(CardField::LastName));
    }
    return names;
}

void WindowTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    // A private message folder, so no other running copy makes this one a clone.
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    QCoreApplication::setApplicationName(kFirstCopyTitle);
}

void WindowTest::TearDown() {
    form.reset();
    QDir::setCurrent(previousDir);
}

void WindowTest::Create() { form = std::make_unique<TForm1>(doubles.Make()); }

void WindowTest::Start() {
    if (!form) Create();
    form->show();
    form->RunPendingActivation();
    Process();
}

void WindowTest::Process() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

std::string WindowTest::DbPath() const { return dir.filePath("Your DataBase.DAT").toStdString(); }

}  // namespace vandrex::testing

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    vandrex::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
