// The command-line companion, run as a real process.

#include "testdata.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string output;  // stdout and stderr
};

Result Pack(const std::string& args) {
    const std::string command = std::string(VANDREX_PACK) + " " + args + " 2>&1";
    Result result{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class VandrexPack : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vandrex-pack-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

}  // namespace

TEST_F(VandrexPack, CompressesTestsAndDecompresses) {
    const auto bytes = vandrex::testdata::Mixed(70000, 3);
    Write("in.bin", std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(Pack("c " + Path("in.bin") + " " + Path("in.pmcs")).status, 0);
    const Result test = Pack("t " + Path("in.pmcs"));
    EXPECT_EQ(test.status, 0) << test.output;
    EXPECT_NE(test.output.find("block 3: "), std::string::npos) << test.output;
    EXPECT_NE(test.output.find("3 blocks, "), std::string::npos) << test.output;
    EXPECT_NE(test.output.find("70000 bytes decompressed, OK"), std::string::npos) << test.output;
    ASSERT_EQ(Pack("d " + Path("in.pmcs") + " " + Path("out.bin")).status, 0);
    EXPECT_EQ(ReadFile(dir_ / "out.bin"), ReadFile(dir_ / "in.bin"));
}

TEST_F(VandrexPack, BadInputFailsAndLeavesOutputAlone) {
    Write("plain.txt", "not a container");
    Write("keep.bin", "previous contents");
    const Result wrong = Pack("d " + Path("plain.txt") + " " + Path("keep.bin"));
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.output.find("Wrong file type"), std::string::npos);

    ASSERT_EQ(Pack("c " + Path("keep.bin") + " " + Path("keep.pmcs")).status, 0);
    const std::string container = ReadFile(dir_ / "keep.pmcs");
    Write("cut.pmcs", container.substr(0, container.size() - 3));
    const Result cut = Pack("d " + Path("cut.pmcs") + " " + Path("keep.bin"));
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.output.find("ends inside block 1"), std::string::npos) << cut.output;
    EXPECT_EQ(Pack("t " + Path("cut.pmcs")).status, 1);
    EXPECT_EQ(ReadFile(dir_ / "keep.bin"), "previous contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4)
        << "no partial files left behind";

    EXPECT_EQ(Pack("c " + Path("missing") + " " + Path("x")).status, 1);
    EXPECT_EQ(Pack("t " + dir_.string()).status, 1);
    EXPECT_EQ(Pack("").status, 2);
    EXPECT_EQ(Pack("x a b").status, 2);
    EXPECT_EQ(Pack("c onlyone").status, 2);
}
