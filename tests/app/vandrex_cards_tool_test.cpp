#include <gtest/gtest.h>

#include <filesystem>

#include "app/cardrecord.h"
#include "tests/app/card_test_support.h"

namespace vandrex {
namespace {

const std::string kTool = VANDREX_CARDS_TOOL;

class VandrexCardsTool : public ::testing::Test {
protected:
    cardtest::ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), kTool);
        return cardtest::Run(args);
    }
    cardtest::TempDir dir;
    const std::string path = dir.file("cards.dat");
};

TEST_F(VandrexCardsTool, ListPrintsEveryFieldInRecordOrder) {
    TCardRecord r;
    const char* texts[] = {"Jan", "Jansen", "Dorpsstraat 1", "3a", "1234AB", "K\xf6ln",
                           "NH", "020-1", "020-2", "06-3", "jan@example.org"};
    for (int i = 0; i < kCardFieldCount; ++i) r.setText(static_cast<CardField>(i), texts[i]);
    cardtest::WriteFile(path, std::string(kCardRecordSize, '\0') + cardtest::RecordBytes(r));
    const auto out = run({"list", path});
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out,
              "0\t\t\t\t\t\t\t\t\t\t\t\n"
              "1\tJan\tJansen\tDorpsstraat 1\t3a\t1234AB\tK\xc3\xb6ln\tNH\t020-1\t020-2\t06-3\tjan@example.org\n");
    EXPECT_EQ(out.err, "");
}

TEST_F(VandrexCardsTool, AddToAMissingFileFollowsTheEmptyFirstCard) {
    auto r = run({"add", path, "LastName=M\xc3\xbcller", "EMail=m@example.org", "Room=123456789"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"add", path, "LastName=Adams", "FirstName=\xe2\x82\xac\xe4\xb8\xad"});  // euro sign; no code page byte
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = cardtest::ReadFile(path);
    ASSERT_EQ(file.size(), 3u * kCardRecordSize);
    EXPECT_EQ(file.substr(0, kCardRecordSize), std::string(kCardRecordSize, '\0'));
    EXPECT_EQ(cardtest::RecordAt(file, 1).text(CardField::LastName), "M\xfcller");
    EXPECT_EQ(cardtest::RecordAt(file, 1).text(CardField::Room), "12345");
    EXPECT_EQ(cardtest::RecordAt(file, 2).text(CardField::FirstName), "\x80?");

    r = run({"sort", path});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"list", path});
    EXPECT_EQ(r.out,
              "0\t\t\t\t\t\t\t\t\t\t\t\n"
              "1\t\xe2\x82\xac?\tAdams\t\t\t\t\t\t\t\t\t\n"
              "2\t\tM\xc3\xbcller\t\t12345\t\t\t\t\t\t\tm@example.org\n");
}

TEST_F(VandrexCardsTool, BadCommandLinesFailWithoutTouchingTheFile) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no command"},
        {{"frob", "x"}, "unknown command \"frob\""},
        {{"list"}, "no FILE"},
        {{"add", "@", "Surname=x"}, "unknown field \"Surname\""},
        {{"add", "@", "LastName"}, "missing '='"},
        {{"list", "@", "extra"}, "too many arguments"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        for (auto& a : args)
            if (a == "@") a = path;
        const auto r = run(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(path)) << c.message;
    }
}

TEST_F(VandrexCardsTool, MissingOrUnreadableFilesAreFileErrors) {
    for (const char* command : {"list", "sort"}) {
        const auto r = run({command, path});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(path)) << command << " created the file";
    }
    std::filesystem::create_directory(path);
    for (const char* command : {"list", "sort"}) {
        const auto r = run({command, path});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("Cannot open"), std::string::npos) << r.err;
    }
    const auto r = run({"add", dir.file("missing/cards.dat"), "LastName=x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vandrex
