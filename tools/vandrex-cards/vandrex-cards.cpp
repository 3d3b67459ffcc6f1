// vandrex-cards: the card file from the command line.
//
//   vandrex-cards list FILE                 one line per card: index, then the
//                                           eleven fields in record order,
//                                           tab separated, UTF-8
//   vandrex-cards add FILE FIELD=VALUE...   append a card as New then Store
//                                           do; FIELD is a record field name
//                                           (FirstName ... EMail), unnamed
//                                           fields stay empty
//   vandrex-cards sort FILE                 order the file by last name
//
// add creates a missing file the way the program does: a new file starts
// with one empty card, so the first card added to it becomes card 1.
// Exit status: 0 done, 1 file error, 2 bad command line.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/carddatabase.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace {

using vandrex::CardField;
using vandrex::CardTexts;
using vandrex::TCardDatabase;

constexpr const char* kUsage =
    "usage: vandrex-cards list FILE\n"
    "       vandrex-cards add FILE FIELD=VALUE...\n"
    "       vandrex-cards sort FILE\n";

struct UsageError {
    std::string message;
};

// list and sort work on an existing file only; Open would create it.
void RequireExisting(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        throw vandrex::EInOutError("Cannot open \"" + path + "\": " + std::strerror(errno));
}

int List(const std::string& path) {
    RequireExisting(path);
    TCardDatabase db;
    db.Open(path);
    const int records = db.RecordCount();
    std::string line;
    for (int i = 0; i < records; ++i) {
        db.ReadCard(i);
        line = std::to_string(i);
        for (int f = 0; f < vandrex::kCardFieldCount; ++f) {
            line += '\t';
            line += vandrex::AnsiToUtf8(db.CardBuffer.text(static_cast<CardField>(f)));
        }
        line += '\n';
        std::cout << line;
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

int Add(const std::string& path, const std::vector<std::string>& assignments) {
    CardTexts values;
    for (const std::string& a : assignments) {
        const auto eq = a.find('=');
        if (eq == std::string::npos) throw UsageError{"missing '=' in \"" + a + "\""};
        const std::string name = a.substr(0, eq);
        const int field = vandrex::FindCardField(name);
        if (field < 0)
            throw UsageError{"unknown field \"" + name +
                             "\" (FirstName LastName Address Room Zipcode City State Phone Fax Mobile EMail)"};
        values[field] = vandrex::Utf8ToAnsi(a.substr(eq + 1));  // a later value of a field wins
    }

    TCardDatabase db;
    db.Open(path);
    db.Recount();
    db.Seek(db.AppendCard());
    db.StoreCard(values);
    return 0;
}

int Sort(const std::string& path) {
    RequireExisting(path);
    TCardDatabase db;
    db.Open(path);
    db.SortCards();
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command != "list" && command != "add" && command != "sort")
        throw UsageError{"unknown command \"" + command + "\""};
    if (args.size() < 2) throw UsageError{"no FILE given"};
    if (command == "add") return Add(args[1], {args.begin() + 2, args.end()});
    if (args.size() > 2) throw UsageError{"too many arguments for " + command};
    return command == "list" ? List(args[1]) : Sort(args[1]);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run({argv + 1, argv + argc});
    } catch (const UsageError& e) {
        std::cerr << "vandrex-cards: " << e.message << "\n" << kUsage;
        return 2;
    } catch (const vandrex::Exception& e) {
        std::cerr << "vandrex-cards: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "vandrex-cards: " << e.what() << "\n";
        return 1;
    }
}
