// Real running copies on one card file: killed in the middle of sorts and
// erases, and working side by side.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "app/carddatabase.h"
#include "platform/exceptions.h"
#include "tests/app/card_test_support.h"

namespace vandrex {
namespace {

using cardtest::CardFor;
using cardtest::RecordAt;
using cardtest::RecordBytes;

const std::string kHelper = CARD_TEST_HELPER;

// First names of all cards in the file ("" for an empty card), after the
// database has opened it (which finishes any interrupted change); fails the
// test on a damaged card.
std::multiset<std::string> CardsAfterOpen(const std::string& path) {
    TCardDatabase db;
    db.Open(path);
    db.Close();
    const std::string file = cardtest::ReadFile(path);
    EXPECT_EQ(file.size() % kCardRecordSize, 0u);
    std::multiset<std::string> ids;
    for (std::size_t k = 0; k < file.size() / kCardRecordSize; ++k) {
        const TCardRecord r = RecordAt(file, static_cast<int>(k));
        EXPECT_TRUE(cardtest::CardIntact(r)) << "card " << k << " damaged";
        ids.insert(r.text(CardField::FirstName));
    }
    return ids;
}

void WriteShuffled(const std::string& path, std::multiset<std::string> ids, std::mt19937& rng) {
    std::vector<std::string> order(ids.begin(), ids.end());
    std::shuffle(order.begin(), order.end(), rng);
    std::string bytes;
    for (const auto& id : order) bytes += id.empty() ? std::string(kCardRecordSize, '\0') : RecordBytes(CardFor(id));
    cardtest::WriteFile(path, bytes);
}

// A copy killed while creating a new card file leaves no file (the next start
// creates it) or the complete one; never an empty or partial file that would
// be taken for an existing database. An existing file is never replaced.
TEST(CardFileCrash, CreationKilledMidwayLeavesNoFileOrTheWholeOne) {
    const std::string kCrash = CARD_CREATE_CRASH;
    for (const char* step : {"write", "sync"}) {
        SCOPED_TRACE(step);
        cardtest::TempDir dir;
        const std::string path = dir.file("Your DataBase.DAT");
        EXPECT_EQ(cardtest::Wait(cardtest::Spawn({kCrash, path, step, "Lost"})), -1) << "killed";
        EXPECT_FALSE(std::filesystem::exists(path)) << "size " << cardtest::ReadFile(path).size();
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("")))
            ADD_FAILURE() << "left behind: " << entry.path();

        // The next start creates it complete, with its first card.
        ASSERT_EQ(cardtest::Wait(cardtest::Spawn({kCrash, path, "none", "Kept"})), 0);
        const std::string file = cardtest::ReadFile(path);
        ASSERT_EQ(file.size(), kCardRecordSize);
        EXPECT_EQ(RecordAt(file, 0).text(CardField::FirstName), "Kept");
        EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_write,
                  std::filesystem::perms::owner_write);

        // Opening it again reads it; nothing is created over it.
        ASSERT_EQ(cardtest::Wait(cardtest::Spawn({kCrash, path, "write", "Other"})), 0);
        EXPECT_EQ(cardtest::ReadFile(path), file);
    }
}

TEST(CardFileCrash, KilledCopyNeverLosesACard) {
    cardtest::TempDir dir;
    const std::string path = dir.file("Your DataBase.DAT");
    const std::string logPath = dir.file("log");
    std::mt19937 rng(20240611);

    std::multiset<std::string> cards;
    for (int i = 0; i < 3000; ++i) cards.insert("c" + std::to_string(i));

    int interruptedSorts = 0, interruptedErases = 0, journalsLeft = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Each round starts from a file in random order, so that the first
        // sort moves nearly every record.
        WriteShuffled(path, cards, rng);
        cardtest::WriteFile(logPath, "");
        const pid_t pid = cardtest::Spawn({kHelper, "work", path, logPath, std::to_string(round)});
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 60000));
        ::kill(pid, SIGKILL);
        cardtest::Wait(pid);
        if (std::filesystem::exists(path + "-journal")) ++journalsLeft;

        // Replay the log: finished commands change the expected cards; the
        // one in flight may have happened or not.
        std::istringstream log(cardtest::ReadFile(logPath));
        std::string line, pending;
        std::multiset<std::string> before = cards;
        const auto apply = [](std::multiset<std::string>& set, const std::string& cmd) {
            if (cmd[0] == 'E') set.erase(set.find(cmd.substr(2)));
            if (cmd[0] == 'A') set.insert(cmd.substr(2));
        };
        while (std::getline(log, line)) {
            if (line == "D") {
                apply(before, pending);
                pending.clear();
            } else {
                pending = line;
            }
        }
        std::multiset<std::string> after = before;
        if (!pending.empty()) {
            if (pending[0] == 'S') ++interruptedSorts;
            if (pending[0] == 'E') ++interruptedErases;
            apply(after, pending);
        }

        const std::multiset<std::string> found = CardsAfterOpen(path);
        if (found == before || found == after) {
            cards = found;
        } else if (!pending.empty() && pending[0] == 'A') {
            // Killed between writing the empty card and storing it.
            std::multiset<std::string> withEmpty = before;
            withEmpty.insert("");
            ASSERT_EQ(found, withEmpty) << "in flight: " << pending;
            cards = found;
        } else {
            ASSERT_TRUE(false) << "cards lost or duplicated; in flight: " << pending << "; expected "
                               << before.size() << " or " << after.size() << " cards, found " << found.size();
        }
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }
    std::printf("kills inside a sort: %d, inside an erase: %d, journals left behind: %d\n", interruptedSorts,
                interruptedErases, journalsLeft);
    EXPECT_GT(interruptedSorts, 0) << "the kills never hit a sort";
}

class TwoCopiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string bytes;
        for (int i = 0; i < 50; ++i) bytes += RecordBytes(CardFor("c" + std::to_string(i)));
        cardtest::WriteFile(path, bytes);
        db.Open(path);
    }
    int slotOf(const std::string& id) const {
        const std::string file = cardtest::ReadFile(path);
        for (std::size_t k = 0; k < file.size() / kCardRecordSize; ++k)
            if (RecordAt(file, static_cast<int>(k)).text(CardField::FirstName) == id) return static_cast<int>(k);
        return -1;
    }

    cardtest::TempDir dir;
    const std::string path = dir.file("Your DataBase.DAT");
    TCardDatabase db;
    CardTexts edits;
};

TEST_F(TwoCopiesTest, StoreFollowsACardTheOtherCopyMoved) {
    const int k = 7;
    db.CardIndex = k;
    db.ReadCard(k);
    const std::string id = db.CardBuffer.text(CardField::FirstName);
    ASSERT_EQ(cardtest::Run({kHelper, "sort", path, "1"}).status, 0);
    const int moved = slotOf(id);
    ASSERT_NE(moved, k) << "pick a card the sort moves";
    const std::string other = RecordBytes(RecordAt(cardtest::ReadFile(path), k));

    edits = cardtest::TextsFor(id);
    edits[static_cast<int>(CardField::Phone)] = "555-0100";
    db.StoreCard(edits);
    const std::string file = cardtest::ReadFile(path);
    EXPECT_EQ(db.CardIndex, moved);
    EXPECT_EQ(RecordAt(file, moved).text(CardField::Phone), "555-0100");
    EXPECT_EQ(RecordBytes(RecordAt(file, k)), other) << "the card now in the old slot is untouched";
}

TEST_F(TwoCopiesTest, StoreOfACardTheOtherCopyChangedIsRefused) {
    db.CardIndex = 3;
    db.ReadCard(3);
    ASSERT_EQ(cardtest::Run({kHelper, "rename", path, "3", "Changed"}).status, 0);
    const std::string afterOther = cardtest::ReadFile(path);
    edits = cardtest::TextsFor("mine");
    try {
        db.StoreCard(edits);
        FAIL() << "store went through";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("changed by another running copy"), std::string::npos) << e.what();
    }
    EXPECT_EQ(cardtest::ReadFile(path), afterOther);
    // Erasing it is refused the same way.
    EXPECT_THROW(db.EraseCardAt(), EInOutError);
    EXPECT_EQ(cardtest::ReadFile(path), afterOther);
}

TEST_F(TwoCopiesTest, UnchangedStoreKeepsTheOtherCopysChange) {
    // A clone stores its shown card on Close without having edited it.
    db.CardIndex = 3;
    db.ReadCard(3);
    for (int i = 0; i < kCardFieldCount; ++i) edits[i] = db.CardBuffer.text(static_cast<CardField>(i));
    ASSERT_EQ(cardtest::Run({kHelper, "rename", path, "3", "Changed"}).status, 0);
    const std::string afterOther = cardtest::ReadFile(path);
    db.Seek(3);
    EXPECT_NO_THROW(db.StoreCard(edits));
    EXPECT_EQ(cardtest::ReadFile(path), afterOther);
}

TEST_F(TwoCopiesTest, AppendsAndSortsSideBySideKeepEveryCard) {
    db.Close();
    const pid_t a = cardtest::Spawn({kHelper, "append", path, "a", "300"});
    const pid_t b = cardtest::Spawn({kHelper, "append", path, "b", "300"});
    const pid_t s = cardtest::Spawn({kHelper, "sort", path, "40"});
    EXPECT_EQ(cardtest::Wait(a), 0);
    EXPECT_EQ(cardtest::Wait(b), 0);
    EXPECT_EQ(cardtest::Wait(s), 0);

    std::multiset<std::string> expected;
    for (int i = 0; i < 50; ++i) expected.insert("c" + std::to_string(i));
    for (int i = 0; i < 300; ++i) {
        expected.insert("a" + std::to_string(i));
        expected.insert("b" + std::to_string(i));
    }
    EXPECT_EQ(CardsAfterOpen(path), expected);
}

}  // namespace
}  // namespace vandrex
