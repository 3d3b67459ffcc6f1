#include "app/carddatabase.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include "platform/exceptions.h"
#include "tests/app/card_test_support.h"

namespace vandrex {
namespace {

using cardtest::CardFor;
using cardtest::ReadFile;
using cardtest::RecordAt;
using cardtest::RecordBytes;
using cardtest::WriteFile;

// Stands in for the window: the edits, and a log of what the calls left to show.
class CardDatabaseTest : public ::testing::Test {
protected:
    // Does what the window does with a call's result.
    TCardUpdate note(const TCardUpdate& u) {
        if (u.ClearEdits) {
            ++clears;
            edits = CardTexts{};
        }
        if (u.SliderMax) sliderMax = *u.SliderMax;
        if (u.ShowCard) {
            ++shows;
            shown = db.CardBuffer;
        }
        return u;
    }

    std::string path() const { return dir.file("Your DataBase.DAT"); }

    void writeCards(const std::vector<std::string>& ids, const std::string& tail = {}) {
        std::string bytes;
        for (const auto& id : ids) bytes += RecordBytes(CardFor(id));
        WriteFile(path(), bytes + tail);
    }

    std::vector<std::string> ids() const {
        const std::string file = ReadFile(path());
        std::vector<std::string> out;
        for (std::size_t k = 0; k < file.size() / kCardRecordSize; ++k)
            out.push_back(RecordAt(file, static_cast<int>(k)).text(CardField::FirstName));
        return out;
    }

    cardtest::TempDir dir;
    TCardDatabase db;
    CardTexts edits;
    TCardRecord shown;
    int shows = 0, clears = 0, sliderMax = -99;
};

TEST_F(CardDatabaseTest, NewFileStartsWithOneEmptyCard) {
    edits[1] = "left over";  // the new card owes nothing to what the window shows
    EXPECT_TRUE(note(db.Open(path())).Created);
    EXPECT_EQ(ReadFile(path()), std::string(kCardRecordSize, '\0'));
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(db.CardIndex, 0);
    EXPECT_EQ(db.Position(), 0);
    EXPECT_EQ(db.CardCount, 0) << "not recounted on the create path";
    EXPECT_EQ(sliderMax, -99);
    EXPECT_EQ(shown.bytes, TCardRecord{}.bytes);
}

TEST_F(CardDatabaseTest, EmptyExistingFileReadsAndShowsNothing) {
    WriteFile(path(), "");
    EXPECT_FALSE(note(db.Open(path())).Created);
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(clears, 0);
    EXPECT_EQ(sliderMax, -1);
    EXPECT_EQ(db.CardCount, 0);
    EXPECT_TRUE(db.Eof());
    EXPECT_EQ(ReadFile(path()).size(), 0u);

    // The first Store writes card 0.
    edits[1] = "Smith";
    db.StoreCard(edits);
    EXPECT_EQ(ids().size(), 1u);
    EXPECT_EQ(RecordAt(ReadFile(path()), 0).text(CardField::LastName), "Smith");
}

TEST_F(CardDatabaseTest, ExistingFileShowsCardZeroAndLeavesThePositionAfterIt) {
    writeCards({"a", "b", "c"});
    EXPECT_FALSE(note(db.Open(path())).Created);
    EXPECT_EQ(db.CardCount, 3);
    EXPECT_EQ(sliderMax, 2);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(shown.text(CardField::FirstName), "a");
    EXPECT_EQ(db.CardIndex, 0);
    EXPECT_EQ(db.Position(), 1);
}

TEST_F(CardDatabaseTest, StoreWritesTheRecordByteForByte) {
    WriteFile(path(), "");
    note(db.Open(path()));
    edits = {"abc", "Zz", "", "12345678", "9", "", "", "+31 ", "", "", "x"};
    db.StoreCard(edits);

    std::string expected(kCardRecordSize, '\0');
    const auto put = [&](int offset, std::string bytes) { expected.replace(offset, bytes.size(), bytes); };
    put(0, "\x03" "ace");              // FirstName "abc"
    put(21, "\x02" "Z{");              // LastName "Zz"
    put(103, "\x05" "13579");          // Room "12345678" encoded, then cut to 5
    put(109, "\x01" "9");              // Zipcode
    put(143, "\x04" "+43#");            // Phone "+31 ": '+', '3'+1, '1'+2, ' '+3
    put(197, "\x01" "x");              // EMail
    EXPECT_EQ(ReadFile(path()), expected);
    EXPECT_EQ(db.Position(), 1) << "a write advances the position";
}

TEST_F(CardDatabaseTest, ReadCardLandsInTheBufferAndSeeksBack) {
    writeCards({"a", "b", "c"});
    note(db.Open(path()));
    db.ReadCard(2);
    EXPECT_EQ(db.CardBuffer.text(CardField::FirstName), "c");
    EXPECT_EQ(db.Position(), 2);
    EXPECT_EQ(shows, 1) << "a plain read shows nothing";

    edits = cardtest::TextsFor("c2");
    db.StoreCard(edits);
    EXPECT_EQ(ids(), (std::vector<std::string>{"a", "b", "c2"}));
}

TEST_F(CardDatabaseTest, ReadsAndSeeksPastTheEndFail) {
    writeCards({"a", "b"});
    note(db.Open(path()));
    EXPECT_THROW(db.ReadCard(2), EInOutError);
    EXPECT_THROW(db.ReadCard(-1), EInOutError);
    EXPECT_THROW(db.Seek(3), EInOutError);
    db.Seek(2);  // the end itself is a valid position
    EXPECT_TRUE(db.Eof());
    try {
        db.ReadCard(5);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("past the end"), std::string::npos) << e.what();
    }
}

TEST_F(CardDatabaseTest, FileErrorsNameTheFileAndTheReason) {
    try {
        db.Open(dir.file("no such dir/Your DataBase.DAT"));
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("no such dir"), std::string::npos) << e.what();
    }
    EXPECT_THROW(db.Open(dir.file("")), EInOutError);  // a directory
    EXPECT_FALSE(db.IsOpen());
    EXPECT_THROW(db.StoreCard(edits), EInOutError);
}

TEST_F(CardDatabaseTest, ReopeningClosesThePreviousHandle) {
    writeCards({"a"});
    const auto openFds = [] {
        int n = 0;
        DIR* d = ::opendir("/proc/self/fd");
        while (::readdir(d)) ++n;
        ::closedir(d);
        return n;
    };
    note(db.Open(path()));
    const int before = openFds();
    for (int i = 0; i < 50; ++i) note(db.Open(path()));
    EXPECT_EQ(openFds(), before);
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_LT(openFds(), before);
}

TEST_F(CardDatabaseTest, AppendWritesAnEmptyCardAtTheEnd) {
    writeCards({"a", "b"});
    note(db.Open(path()));
    db.ReadCard(1);
    edits = cardtest::TextsFor("edited");
    EXPECT_EQ(db.AppendCard(), 2);
    EXPECT_EQ(db.CardIndex, 2);
    EXPECT_EQ(db.Position(), 2);
    EXPECT_EQ(db.CardBuffer.bytes, TCardRecord{}.bytes) << "the new card shown is empty";
    const std::string file = ReadFile(path());
    ASSERT_EQ(file.size(), 3u * kCardRecordSize);
    EXPECT_EQ(file.substr(2 * kCardRecordSize), std::string(kCardRecordSize, '\0'));
    EXPECT_EQ(RecordAt(file, 1).text(CardField::FirstName), "b") << "the card shown before is not stored";

    edits = cardtest::TextsFor("new");
    db.StoreCard(edits);
    EXPECT_EQ(ids(), (std::vector<std::string>{"a", "b", "new"}));
}

TEST_F(CardDatabaseTest, StoreRefusesToOverwriteACardItDidNotRead) {
    writeCards({"a", "b", "c"});
    note(db.Open(path()));  // position 1, card 0 read
    const std::string before = ReadFile(path());
    edits = cardtest::TextsFor("x");
    EXPECT_THROW(db.StoreCard(edits), EInOutError);
    EXPECT_EQ(ReadFile(path()), before);
}

// Erase: the window has blanked the current card before calling EraseCardAt.
TEST_F(CardDatabaseTest, EraseMovesTheLastCardIntoTheSlot) {
    writeCards({"c0", "c1", "c2", "c3", "c4"});
    note(db.Open(path()));
    db.CardIndex = 2;
    db.ReadCard(2);
    note(db.EraseCardAt());
    EXPECT_EQ(ids(), (std::vector<std::string>{"c0", "c1", "c4", "c3"}));
    EXPECT_EQ(db.CardIndex, 2);
    EXPECT_EQ(db.Position(), 2);
    EXPECT_EQ(db.CardBuffer.text(CardField::FirstName), "c4");
    EXPECT_EQ(sliderMax, 3);
    EXPECT_EQ(shows, 1) << "no intermediate cards are shown";
    EXPECT_FALSE(std::filesystem::exists(path() + "-journal"));
}

TEST_F(CardDatabaseTest, ErasingTheLastCardMakesTheNewLastCurrent) {
    writeCards({"c0", "c1", "c2"});
    note(db.Open(path()));
    db.CardIndex = 2;
    db.ReadCard(2);
    note(db.EraseCardAt());
    EXPECT_EQ(ids(), (std::vector<std::string>{"c0", "c1"}));
    EXPECT_EQ(db.CardIndex, 1);
    EXPECT_EQ(db.CardBuffer.text(CardField::FirstName), "c1");
    EXPECT_EQ(sliderMax, 1);
}

TEST_F(CardDatabaseTest, ErasingTheOnlyCardLeavesOneEmptyCard) {
    writeCards({"only"});
    note(db.Open(path()));
    note(db.EraseCardAt());
    const std::string file = ReadFile(path());
    ASSERT_EQ(file.size(), static_cast<std::size_t>(kCardRecordSize));
    for (const auto& f : CardFields()) EXPECT_EQ(file[f.offset], 0) << f.name;
    EXPECT_EQ(db.CardIndex, 0);
    EXPECT_EQ(clears, 1);
}

TEST_F(CardDatabaseTest, EraseFollowedByStoreAndSortWorksLikeTheEraseCommand) {
    writeCards({"c0", "c1", "c2", "c3", "c4"});
    note(db.Open(path()));
    db.CardIndex = 2;
    db.ReadCard(2);
    // EraseClick: blank the card, erase, recount, seek, sort.
    edits = CardTexts{};
    db.Seek(db.CardIndex);
    db.StoreCard(edits);
    note(db.EraseCardAt());
    db.Recount();
    db.Seek(db.CardIndex);
    note(db.SortCards());
    EXPECT_EQ(db.CardCount, 4);
    EXPECT_EQ(db.CardIndex, 0);
    std::vector<std::string> left = ids();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"c0", "c1", "c3", "c4"}));
}

TEST_F(CardDatabaseTest, EraseOnAnEmptyFileFails) {
    WriteFile(path(), "");
    note(db.Open(path()));
    EXPECT_THROW(db.EraseCardAt(), EInOutError);
    EXPECT_EQ(ReadFile(path()).size(), 0u);
}

TEST_F(CardDatabaseTest, TrailingFragmentIsNotACard) {
    writeCards({"a", "b", "c"}, std::string(100, '\x7f'));
    note(db.Open(path()));
    EXPECT_EQ(db.RecordCount(), 3);
    EXPECT_EQ(db.CardCount, 3);
    EXPECT_THROW(db.ReadCard(3), EInOutError);
    db.ReadCard(2);
    EXPECT_EQ(db.CardBuffer.text(CardField::FirstName), "c");

    db.AppendCard();  // replaces the fragment
    EXPECT_EQ(ReadFile(path()).size(), 4u * kCardRecordSize);

    db.CardIndex = 1;
    db.CardIndex = 1;
    db.ReadCard(1);
    note(db.EraseCardAt());
    EXPECT_EQ(ReadFile(path()).size(), 3u * kCardRecordSize);
}

TEST_F(CardDatabaseTest, OversizedLengthBytesAreReadAndSortedSafely) {
    std::string file;
    for (int i = 0; i < 4; ++i) {
        std::string rec(kCardRecordSize, static_cast<char>('k' - i));
        for (const auto& f : CardFields()) rec[f.offset] = static_cast<char>(0xF0 + i);
        file += rec;
    }
    WriteFile(path(), file);
    note(db.Open(path()));
    EXPECT_EQ(shown.text(CardField::EMail).size(), 40u);
    db.CardCount = 4;
    note(db.SortCards());
    const std::string sorted = ReadFile(path());
    ASSERT_EQ(sorted.size(), file.size());
    for (int i = 0; i < 4; ++i)  // names "k...", "j...", ... were in descending order
        EXPECT_EQ(RecordBytes(RecordAt(sorted, i)), RecordBytes(RecordAt(file, 3 - i)));
}

TEST_F(CardDatabaseTest, LeftoverIncompleteJournalIsDropped) {
    writeCards({"a", "b"});
    const std::string before = ReadFile(path());
    WriteFile(path() + "-journal", "VXCJRNL1 then the copy died");
    note(db.Open(path()));
    EXPECT_FALSE(std::filesystem::exists(path() + "-journal"));
    EXPECT_EQ(ReadFile(path()), before);
}

// The window hands texts in and shows what comes back; nothing is asked of it.
TEST_F(CardDatabaseTest, SortLeavesCardZeroToShowOnlyWhenThereIsOne) {
    WriteFile(path(), "");
    note(db.Open(path()));
    EXPECT_FALSE(note(db.SortCards()).ShowCard);
    writeCards({"b", "a"});
    note(db.Open(path()));
    const TCardUpdate sorted = note(db.SortCards());
    EXPECT_TRUE(sorted.ShowCard);
    EXPECT_FALSE(sorted.SliderMax.has_value());
    EXPECT_EQ(shown.text(CardField::LastName), RecordAt(ReadFile(path()), 0).text(CardField::LastName));
}

}  // namespace
}  // namespace vandrex
