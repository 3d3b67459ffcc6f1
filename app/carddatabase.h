#pragma once
// The card database: the open "Your DataBase.DAT", the one in-memory record
// CardBuffer, the current card number CardIndex and the counted CardCount.
//
// The window shows cards and hands over the texts of its edits; every read
// lands in CardBuffer and the database asks the window to show it through
// OnShow. File failures raise EInOutError.

#include <functional>
#include <string>

#include "app/cardrecord.h"

namespace vandrex {

class TCardDatabase {
public:
    TCardDatabase();
    ~TCardDatabase();
    TCardDatabase(const TCardDatabase&) = delete;
    TCardDatabase& operator=(const TCardDatabase&) = delete;

    // Called whenever a card read into CardBuffer is to be shown (ShowCard).
    std::function<void()> OnShow;
    // Supplies the texts of the card edits (file order), for StoreCard.
    std::function<CardTexts()> EditTexts;
    // Empties the card edits.
    std::function<void()> ClearEdits;
    // Sets the slider maximum (records - 1).
    std::function<void(int)> OnSliderMax;

    // Open or create the file (closing any previous handle first). Existing
    // file: CardCount := records, slider max := CardCount - 1, record 0 read
    // and shown when there is one, CardIndex 0, position after record 0.
    // New file: one record from the (cleared) edits written at 0 and shown,
    // position 0; CardCount not recounted. Returns true when created.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    int RecordCount() const;       // file size / 238
    int Position() const;          // file position in records
    void Seek(int record);
    bool Eof() const;              // Position() >= RecordCount()

    // Seek to k, read one record into CardBuffer, seek back to k.
    void ReadCard(int k);
    // Encode the edits into CardBuffer and write it at the current position.
    void StoreCard();
    // CardIndex := records; edits emptied; empty record written; seek back.
    void AppendEmptyCard();
    // Removes the current card: the last record moves into its slot.
    void EraseCardAt();
    // Orders the file by LastName; ends with CardIndex 0, record 0 shown.
    void SortCards();
    // CardCount := RecordCount().
    void Recount();

    TCardRecord CardBuffer;
    int CardIndex = 0;
    int CardCount = 0;

private:
    struct Impl;
    Impl* d;
};

}  // namespace vandrex
