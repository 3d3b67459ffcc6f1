#include "compress/filesource.h"

#include "compress/embeddedfiles.h"
#include "platform/exceptions.h"
#include "testdata.h"

#include <gtest/gtest.h>

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

// Points the temporary directory at a fresh folder for each test.
class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vandrex-filesource-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? old : "";
        hadTmp_ = old != nullptr;
        // A trailing slash must not end up doubled in the names.
        ::setenv("TMPDIR", ((dir_ / "tmp").string() + "/").c_str(), 1);
    }
    void TearDown() override {
        if (hadTmp_)
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        fs::remove_all(dir_);
    }
    std::size_t TempFiles() const {
        return std::distance(fs::directory_iterator(dir_ / "tmp"), fs::directory_iterator());
    }

    fs::path dir_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

}  // namespace

TEST_F(FileSourceTest, PropertiesFollowTheirRules) {
    TFileSource source("FileSource1");
    EXPECT_FALSE(source.Store());
    source.SetCompress(true);
    EXPECT_TRUE(source.Store());
    source.SetStore(false);
    EXPECT_TRUE(source.Compress());

    const fs::path file = dir_ / "sample.settings.reg";
    WriteFile(file, "REGEDIT4\n");
    source.SetFileName(file.string());
    EXPECT_EQ(source.Extension(), ".reg");
    EXPECT_EQ(source.FileName(), file.string());
    source.SetFileName((dir_ / "dotted.dir" / "noext").string());
    EXPECT_EQ(source.Extension(), "");
    EXPECT_EQ(source.FileName(), "") << "a missing file reads as no name";
    // Setting a name never deletes a file the component did not extract.
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(FileSourceTest, TempNamesAreFreshAndCreatedAtOnce) {
    TFileSource source;
    source.SetExtension(".reg");
    // Take counter 0 for every second, so the next name must use counter 1.
    for (int s = 0; s < 60; ++s)
        WriteFile(dir_ / "tmp" / ("~fs" + std::to_string(s) + "0.reg"), "taken");
    const std::string name = source.MakeTempName();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(name, m, std::regex("(.*)/~fs([0-9]+)1\\.reg")));
    EXPECT_EQ(fs::path(m[1].str()), dir_ / "tmp");
    EXPECT_LE(std::stoi(m[2].str()), 59);
    EXPECT_NE(name.find("tmp/~fs"), std::string::npos);
    EXPECT_EQ(name.find("//"), std::string::npos);
    ASSERT_TRUE(fs::exists(name));
    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_NE(source.MakeTempName(), name);
}

TEST_F(FileSourceTest, StoresAndExtractsCompressedFiles) {
    const std::string content = [] {
        const auto b = testdata::Mixed(100000, 9);
        return std::string(b.begin(), b.end());
    }();
    const fs::path file = dir_ / "help.txt";
    WriteFile(file, content);
    TFileSource writer("FileSource3");
    writer.SetCompress(true);
    writer.SetFileName(file.string());
    std::stringstream data;
    writer.WriteData(data);
    EXPECT_EQ(data.str().substr(0, 6), "PMCS10");

    std::string extracted;
    {
        TFileSource reader;
        reader.SetCompress(true);
        reader.SetExtension(".txt");
        reader.ReadData(data);
        extracted = reader.FileName();
        EXPECT_TRUE(reader.Extracted());
        EXPECT_EQ(fs::path(extracted).parent_path(), dir_ / "tmp");
        EXPECT_EQ(fs::path(extracted).extension(), ".txt");
        EXPECT_EQ(ReadFile(extracted), content);
        // Taking another name deletes the extracted file.
        std::istringstream again(data.str());
        reader.ReadData(again);
        EXPECT_FALSE(fs::exists(extracted));
        extracted = reader.FileName();
        EXPECT_EQ(TempFiles(), 1u);
    }
    EXPECT_FALSE(fs::exists(extracted)) << "destruction deletes the extracted file";
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(FileSourceTest, UncompressedDataIsSizeAndBytes) {
    const fs::path file = dir_ / "a.reg";
    WriteFile(file, "abc");
    TFileSource source;
    source.SetStore(true);
    source.SetFileName(file.string());
    std::stringstream data;
    source.WriteData(data);
    EXPECT_EQ(data.str(), std::string("\x03\x00\x00\x00" "abc", 7));
    TFileSource reader;
    reader.ReadData(data);
    EXPECT_EQ(ReadFile(reader.FileName()), "abc");

    WriteFile(file, "");
    std::stringstream empty;
    source.WriteData(empty);
    EXPECT_EQ(empty.str(), std::string(4, '\0'));
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
    const fs::path file = dir_ / "keep.txt";
    WriteFile(file, "keep");
    for (bool compress : {true, false}) {
        TFileSource source;
        source.SetFileName(file.string());
        source.SetCompress(compress);
        std::istringstream damaged(compress ? std::string("PMCS10\x20\0\0\0\x07\0\0\0\x40", 15)
                                            : std::string("\x10\0\0\0short", 9));
        EXPECT_THROW(source.ReadData(damaged), Exception);
        EXPECT_EQ(TempFiles(), 0u);
        EXPECT_EQ(source.FileName(), file.string());
        EXPECT_FALSE(source.Extracted());
    }
}

TEST_F(FileSourceTest, StreamsFileNameOnlyWithoutStore) {
    const fs::path file = dir_ / "b.reg";
    WriteFile(file, "settings");
    TFileSource source;
    source.SetDisplayLabel("Sample");
    source.SetFileName(file.string());
    std::stringstream props;
    source.WriteProperties(props);
    const std::string s = props.str();
    EXPECT_NE(s.find("FileName"), std::string::npos);
    EXPECT_NE(s.find(file.string()), std::string::npos);
    EXPECT_EQ(s.find("FileData"), std::string::npos);
    EXPECT_EQ(s.find("settings"), std::string::npos);

    TFileSource loaded;
    loaded.ReadProperties(props);
    EXPECT_EQ(loaded.FileName(), file.string());
    EXPECT_EQ(loaded.DisplayLabel(), "Sample");
    EXPECT_FALSE(loaded.Extracted());
}

TEST_F(FileSourceTest, StoredPropertiesCarryTheFile) {
    const fs::path file = dir_ / "c.reg";
    WriteFile(file, std::string(5000, 'r') + "end");
    std::stringstream props;
    {
        TFileSource source;
        source.SetCompress(true);
        source.SetDisplayLabel("Settings");
        source.SetFileName(file.string());
        source.WriteProperties(props);
    }
    EXPECT_EQ(props.str().find("c.reg"), std::string::npos);
    fs::remove(file);
    TFileSource loaded;
    loaded.ReadProperties(props);
    EXPECT_TRUE(loaded.Compress());
    EXPECT_EQ(loaded.Extension(), ".reg");
    EXPECT_TRUE(loaded.Extracted());
    EXPECT_EQ(ReadFile(loaded.FileName()), std::string(5000, 'r') + "end");

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
            EXPECT_EQ(fs::path(s.FileName()).parent_path(), dir_ / "tmp");
            EXPECT_FALSE(s.DisplayLabel().empty());
            EXPECT_EQ(ReadFile(s.FileName()),
                      ReadFile(fs::path(VANDREX_SOURCE_DIR) / "compress/embedded" / files[i]));
            names.push_back(s.FileName());
        }
    }
    for (const std::string& name : names)
        EXPECT_FALSE(fs::exists(name));
}
