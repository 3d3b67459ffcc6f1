// A second running copy for the card file tests, driven from the command line:
//   work FILE LOG SEED      sort, erase, edit and append until killed; each
//                           command is logged before it starts ("S",
//                           "E <id>", "A <id>", "C <id>") and after it ends
//                           ("D")
//   append FILE PREFIX N    append N cards PREFIX0 .. PREFIX<N-1>
//   sort FILE N             sort N times
//   rename FILE K NAME      read card K, give it the last name NAME, store it

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "app/carddatabase.h"
#include "platform/exceptions.h"
#include "tests/app/card_test_support.h"

using namespace vandrex;

namespace {

struct Copy {
    TCardDatabase db;
    CardTexts edits;
    explicit Copy(const std::string& path) {
        db.Open(path);
    }
    void append(const std::string& id) {
        db.Recount();
        db.AppendCard();
        edits = cardtest::TextsFor(id);
        db.Seek(db.CardIndex);
        db.StoreCard(edits);
        db.Recount();
    }
};

void Log(int fd, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(3);
}

int Work(const std::string& path, const std::string& logPath, unsigned seed) {
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log < 0) return 3;
    std::mt19937 rng(seed);
    Copy copy(path);
    for (int step = 0;; ++step) {
        const unsigned pick = step == 0 ? 0 : rng() % 10;  // 0-4 sort, 5-7 erase, 8 edit, 9 append
        if (pick < 5) {
            Log(log, "S");
            copy.db.Recount();
            copy.db.SortCards();
        } else if (pick < 8) {
            const int k = static_cast<int>(rng() % copy.db.RecordCount());
            copy.db.CardIndex = k;
            copy.db.ReadCard(k);
            Log(log, "E " + copy.db.CardBuffer.text(CardField::FirstName));
            copy.db.EraseCardAt();
            copy.db.Recount();
        } else if (pick == 8) {
            const int k = static_cast<int>(rng() % copy.db.RecordCount());
            copy.db.CardIndex = k;
            copy.db.ReadCard(k);
            const std::string id = copy.db.CardBuffer.text(CardField::FirstName);
            Log(log, "C " + id);
            if (!id.empty()) {
                copy.edits = cardtest::TextsFor(id);
                copy.edits[static_cast<int>(CardField::Address)] = cardtest::EditedAddress(id);
                copy.db.StoreCard(copy.edits);
            }
        } else {
            const std::string id = "n" + std::to_string(seed) + "_" + std::to_string(step);
            Log(log, "A " + id);
            copy.append(id);
        }
        Log(log, "D");
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "work" && argc == 5) return Work(argv[2], argv[3], static_cast<unsigned>(std::stoul(argv[4])));
        if (mode == "append" && argc == 5) {
            Copy copy(argv[2]);
            const int n = std::stoi(argv[4]);
            for (int i = 0; i < n; ++i) copy.append(argv[3] + std::to_string(i));
            return 0;
        }
        if (mode == "sort" && argc == 4) {
            Copy copy(argv[2]);
            const int n = std::stoi(argv[3]);
            for (int i = 0; i < n; ++i) {
                copy.db.Recount();
                copy.db.SortCards();
            }
            return 0;
        }
        if (mode == "rename" && argc == 5) {
            Copy copy(argv[2]);
            copy.db.ReadCard(std::stoi(argv[3]));
            for (int i = 0; i < kCardFieldCount; ++i) copy.edits[i] = copy.db.CardBuffer.text(static_cast<CardField>(i));
            copy.edits[static_cast<int>(CardField::LastName)] = argv[4];
            copy.db.StoreCard(copy.edits);
            return 0;
        }
        std::fprintf(stderr, "card_test_helper: bad arguments\n");
        return 2;
    } catch (const Exception& e) {
        std::fprintf(stderr, "card_test_helper: %s\n", e.what());
        return 1;
    }
}
