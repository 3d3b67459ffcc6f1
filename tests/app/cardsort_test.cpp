// The sort must leave the file exactly as the selection-sort passes over
// whole records leave it, ties included. The model below runs those passes
// step by step on an in-memory copy of the records.

#include <gtest/gtest.h>

#include <random>

#include "app/carddatabase.h"
#include "tests/app/card_test_support.h"

namespace vandrex {
namespace {

using Records = std::vector<TCardRecord>;

// Unsigned bytes, a proper prefix first.
bool Greater(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x > y;
    }
    return a.size() > b.size();
}

void ModelSort(Records& r, int cardCount) {
    const auto name = [&](int i) { return r[i].storedText(CardField::LastName); };
    for (int k = 1; k <= cardCount - 1; ++k) {
        std::string maxText;
        int maxIndex = -1;
        for (int c = cardCount - k; c >= 1; --c) {
            const int candidate = Greater(name(c), name(c - 1)) ? c : c - 1;
            if (Greater(name(candidate), maxText)) {
                maxText = std::string(name(candidate));
                maxIndex = candidate;
            }
        }
        if (maxIndex >= 0) std::swap(r[maxIndex], r[cardCount - k]);
    }
}

std::string Bytes(const Records& r) {
    std::string out;
    for (const auto& rec : r) out += cardtest::RecordBytes(rec);
    return out;
}

class CardSortTest : public ::testing::Test {
protected:
    // Sorts `records` through the database with the given CardCount and
    // checks the file against the model.
    void expectModelOrder(Records records, int cardCount = -1, const std::string& tail = {}) {
        if (cardCount < 0) cardCount = static_cast<int>(records.size());
        const std::string path = dir.file("cards.dat");
        cardtest::WriteFile(path, Bytes(records) + tail);
        TCardDatabase db;
        int shows = 0;
        if (db.Open(path).ShowCard) ++shows;
        db.CardCount = cardCount;
        if (db.SortCards().ShowCard) ++shows;
        ModelSort(records, std::min<int>(cardCount, static_cast<int>(records.size())));
        ASSERT_EQ(cardtest::ReadFile(path), Bytes(records) + tail);
        EXPECT_EQ(db.CardIndex, 0);
        if (!records.empty()) {
            EXPECT_EQ(cardtest::RecordBytes(db.CardBuffer), cardtest::RecordBytes(records[0]));
            EXPECT_EQ(shows, 2);
        }
    }

    // Records with the given plain last names; every byte outside the names
    // differs, so any mix-up of records shows in the file.
    static Records withNames(const std::vector<std::string>& names, std::mt19937& rng) {
        Records out;
        for (const auto& n : names) {
            TCardRecord r;
            for (auto& b : r.bytes) b = static_cast<std::uint8_t>(rng());
            r.setText(CardField::LastName, n);
            out.push_back(r);
        }
        return out;
    }

    cardtest::TempDir dir;
};

TEST_F(CardSortTest, SmallCases) {
    std::mt19937 rng(1);
    expectModelOrder(withNames({"b", "a", "c"}, rng));
    expectModelOrder({});
    expectModelOrder(withNames({"only"}, rng));
    expectModelOrder(withNames({"b", "a"}, rng));
    expectModelOrder(withNames({"", "", ""}, rng));
}

TEST_F(CardSortTest, PlainResultIsAscendingByLastName) {
    std::mt19937 rng(2);
    const std::string path = dir.file("cards.dat");
    cardtest::WriteFile(path, Bytes(withNames({"b", "a", "c", "", "ab"}, rng)));
    TCardDatabase db;
    db.Open(path);
    db.SortCards();
    const std::string file = cardtest::ReadFile(path);
    std::vector<std::string> names;
    for (int i = 0; i < 5; ++i) names.push_back(cardtest::RecordAt(file, i).text(CardField::LastName));
    EXPECT_EQ(names, (std::vector<std::string>{"", "a", "ab", "b", "c"}));
}

TEST_F(CardSortTest, TiesFollowThePasses) {
    std::mt19937 rng(3);
    expectModelOrder(withNames({"a", "a"}, rng));
    expectModelOrder(withNames({"a", "a", "a", "a", "a"}, rng));
    expectModelOrder(withNames({"b", "a", "b", "a", "b"}, rng));
    expectModelOrder(withNames({"a", "b", "b"}, rng));  // maximum tied at the top of the range
    expectModelOrder(withNames({"b", "b", "a", "b", "b", ""}, rng));
}

TEST_F(CardSortTest, EmptyNamesAndPrefixes) {
    std::mt19937 rng(4);
    expectModelOrder(withNames({"", "a", "", "ab", "a", "abc", ""}, rng));
    expectModelOrder(withNames({"abc", "ab", "a", ""}, rng));
}

TEST_F(CardSortTest, StoredBytesThatWrappedSortByTheirStoredValue) {
    std::mt19937 rng(5);
    // "a\xff" is stored as 'a', 0x00 and so sorts before "a\x01" (stored 'a', 0x02).
    Records r = withNames({"a\x01", "a\xff"}, rng);
    expectModelOrder(r);
    const std::string file = cardtest::ReadFile(dir.file("cards.dat"));
    EXPECT_EQ(cardtest::RecordAt(file, 0).text(CardField::LastName), "a\xff");
    expectModelOrder(withNames({"\xff\xff", "\xfe\xfe", "\x80", "\x7f\x81", "Z"}, rng));
}

TEST_F(CardSortTest, CardCountBoundsTheRange) {
    std::mt19937 rng(6);
    expectModelOrder(withNames({"d", "c", "b", "a", "0"}, rng), 3);
    expectModelOrder(withNames({"d", "c", "b", "a"}, rng), 0);
    expectModelOrder(withNames({"d", "c", "b", "a"}, rng), 9);
    expectModelOrder(withNames({"d", "c", "b"}, rng), 3, std::string(17, 'q'));  // fragment kept
}

TEST_F(CardSortTest, RandomFilesMatchTheModel) {
    std::mt19937 rng(7);
    const std::vector<std::string> alphabet = {"", "a", "b", "A", "\xff", "\x01", "ab", "ba"};
    for (int round = 0; round < 300; ++round) {
        const int n = static_cast<int>(rng() % 40);
        const int parts = 1 + static_cast<int>(rng() % 3);
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i) {
            std::string name;
            for (int p = 0; p < parts; ++p) name += alphabet[rng() % alphabet.size()];
            names.push_back(name);
        }
        Records records = withNames(names, rng);
        if (round % 10 == 0 && n > 0) records[rng() % n].bytes[21] = 200;  // damaged length byte
        SCOPED_TRACE("round " + std::to_string(round));
        expectModelOrder(records);
        if (HasFatalFailure()) return;
    }
}

TEST_F(CardSortTest, LargeFileWithManyTiesMatchesTheModel) {
    // More moving records than the sort gathers in one sweep of the file.
    std::mt19937 rng(8);
    std::vector<std::string> names;
    for (int i = 0; i < 17000; ++i) {
        std::string name(1 + rng() % 3, 'a');
        for (auto& c : name) c = static_cast<char>("abc\xfe"[rng() % 4]);
        names.push_back(rng() % 50 == 0 ? std::string() : name);
    }
    expectModelOrder(withNames(names, rng));
}

}  // namespace
}  // namespace vandrex
