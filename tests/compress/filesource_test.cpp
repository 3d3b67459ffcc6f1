#include "compress/filesource.h"

#include "compress/embeddedfiles.h"
#include "platform/exceptions.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace vandrex;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Points the temporary directory (with a trailing slash, which must not end up
// doubled in the names) at a fresh folder for each test.
class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vandrex-filesource-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_ / "tmp");
        if (const char* old = std::getenv("TMPDIR"))
            oldTmp_ = old;
        ::setenv("TMPDIR", ((dir_ / "tmp").string() + "/").c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        fs::remove_all(dir_);
    }
    std::size_t TempFiles() const {
        return std::distance(fs::directory_iterator(dir_ / "tmp"), fs::directory_iterator());
    }

    fs::path dir_;
    std::string oldTmp_;
};

}  // namespace

TEST_F(FileSourceTest, PropertiesFollowTheirRules) {
    TFileSource source;
    source.SetCompress(true);
    EXPECT_TRUE(source.Store());
    const fs::path file = dir_ / "sample.settings.reg";
    WriteFile(file, "REGEDIT4\n");
    source.SetFileName(file.string());
    EXPECT_EQ(source.Extension(), ".reg");
    EXPECT_EQ(source.FileName(), file.string());
    source.SetFileName((dir_ / "dotted.dir" / "noext").string());
    EXPECT_EQ(source.Extension(), "");
    EXPECT_EQ(source.FileName(), "") << "a missing file reads as no name";
    EXPECT_TRUE(fs::exists(file)) << "only extracted files are deleted";
}

TEST_F(FileSourceTest, TempNamesAreFreshAndCreatedAtOnce) {
    TFileSource source;
    source.SetExtension(".reg");
    // Take counter 0 for every second, so the name must use counter 1.
    for (int s = 0; s < 60; ++s)
        WriteFile(dir_ / "tmp" / ("~fs" + std::to_string(s) + "0.reg"), "taken");
    const std::string name = source.MakeTempName();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(name, m, std::regex("(.*[^/])/~fs([0-9]+)1\\.reg"))) << name;
    EXPECT_EQ(fs::path(m[1].str()), dir_ / "tmp");
    EXPECT_LE(std::stoi(m[2].str()), 59);
    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_NE(source.MakeTempName(), name);
}

TEST_F(FileSourceTest, StoresExtractsAndDeletesCompressedFiles) {
    const auto bytes = testdata::Mixed(100000, 9);
    const std::string content(bytes.begin(), bytes.end());
    WriteFile(dir_ / "help.txt", content);
    TFileSource writer;
    writer.SetCompress(true);
    writer.SetFileName((dir_ / "help.txt").string());
    std::stringstream data;
    writer.WriteData(data);
    EXPECT_EQ(data.str().substr(0, 6), "PMCS10");

    std::string first, second;
    {
        TFileSource reader;
        reader.SetCompress(true);
        reader.SetExtension(".txt");
        reader.ReadData(data);
        first = reader.FileName();
        EXPECT_TRUE(reader.Extracted());
        EXPECT_EQ(fs::path(first).parent_path(), dir_ / "tmp");
        EXPECT_EQ(fs::path(first).extension(), ".txt");
        EXPECT_EQ(ReadFile(first), content);
        std::istringstream again(data.str());
        reader.ReadData(again);  // the new file replaces the old one
        second = reader.FileName();
        EXPECT_FALSE(fs::exists(first));
        EXPECT_EQ(TempFiles(), 1u);
    }
    EXPECT_FALSE(fs::exists(second)) << "destruction deletes the extracted file";
    EXPECT_TRUE(fs::exists(dir_ / "help.txt"));
}

TEST_F(FileSourceTest, UncompressedDataIsSizeAndBytes) {
    WriteFile(dir_ / "a.reg", "abc");
    TFileSource source;
    source.SetStore(true);
    source.SetFileName((dir_ / "a.reg").string());
    std::stringstream data;
    source.WriteData(data);
    EXPECT_EQ(data.str(), std::string("\x03\x00\x00\x00" "abc", 7));
    TFileSource reader;
    reader.ReadData(data);
    EXPECT_EQ(ReadFile(reader.FileName()), "abc");
}

TEST_F(FileSourceTest, MissingFileCannotBeStored) {
    TFileSource source("FileSource2");
    source.SetCompress(true);
    const std::string missing = (dir_ / "gone.reg").string();
    source.SetFileName(missing);
    std::ostringstream data;
    try {
        source.WriteData(data);
        FAIL() << "stored a missing file";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "FileSource2 cannot store file: " + missing + " (file is missing)");
    }
    EXPECT_TRUE(data.str().empty());
}

TEST_F(FileSourceTest, DamagedDataLeavesNoFileAndKeepsTheName) {
    WriteFile(dir_ / "keep.txt", "keep");
    for (bool compress : {true, false}) {
        TFileSource source;
        source.SetFileName((dir_ / "keep.txt").string());
        source.SetCompress(compress);
        std::istringstream damaged(compress ? std::string("PMCS10\x20\0\0\0\x07\0\0\0\x40", 15)
                                            : std::string("\x10\0\0\0short", 9));
        EXPECT_THROW(source.ReadData(damaged), Exception);
        EXPECT_EQ(TempFiles(), 0u);
        EXPECT_EQ(source.FileName(), (dir_ / "keep.txt").string());
        EXPECT_FALSE(source.Extracted());
    }
}

TEST_F(FileSourceTest, PropertiesCarryTheNameOrTheData) {
    const fs::path file = dir_ / "b.reg";
    WriteFile(file, "settings");
    TFileSource byName;
    byName.SetDisplayLabel("Sample");
    byName.SetFileName(file.string());
    std::stringstream names;
    byName.WriteProperties(names);
    EXPECT_EQ(names.str().find("FileData"), std::string::npos);
    EXPECT_EQ(names.str().find("settings"), std::string::npos);
    TFileSource loaded;
    loaded.ReadProperties(names);
    EXPECT_EQ(loaded.FileName(), file.string());
    EXPECT_EQ(loaded.DisplayLabel(), "Sample");

    loaded.SetCompress(true);
    std::stringstream stored;
    loaded.WriteProperties(stored);
    EXPECT_EQ(stored.str().find("b.reg"), std::string::npos) << "no FileName with Store";
    fs::remove(file);
    TFileSource extracted;
    extracted.ReadProperties(stored);
    EXPECT_TRUE(extracted.Compress() && extracted.Extracted());
    EXPECT_EQ(extracted.Extension(), ".reg");
    EXPECT_EQ(ReadFile(extracted.FileName()), "settings");

    std::istringstream unknown(std::string("\x05" "Bogus" "B\x01", 8));
    EXPECT_THROW(TFileSource().ReadProperties(unknown), EInOutError);
    std::istringstream cut(std::string("\x08" "FileName" "S\xFF\xFF\xFF\x7F" "abc", 17));
    EXPECT_THROW(TFileSource().ReadProperties(cut), EInOutError);
}

TEST_F(FileSourceTest, EmbeddedFilesExtractAndVanish) {
    std::vector<std::string> names;
    {
        const auto sources = CreateEmbeddedFileSources();
        ASSERT_EQ(sources.size(), 3u);
        const char* const files[] = {"help.txt", "phone-options.reg", "mail-options.reg"};
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const TFileSource& s = *sources[i];
            EXPECT_EQ(s.Name(), "FileSource" + std::to_string(i + 1));
            EXPECT_TRUE(s.Compress() && s.Store() && s.Extracted());
            EXPECT_EQ(fs::path(s.FileName()).extension(), fs::path(files[i]).extension());
            EXPECT_EQ(ReadFile(s.FileName()),
                      ReadFile(fs::path(VANDREX_SOURCE_DIR) / "compress/embedded" / files[i]));
            names.push_back(s.FileName());
        }
    }
    for (const std::string& name : names)
        EXPECT_FALSE(fs::exists(name));
}
