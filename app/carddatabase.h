#pragma once
// The card database: the open "Your DataBase.DAT", the one in-memory record
// CardBuffer, the current card number CardIndex and the counted CardCount.
//
// The window hands over the texts of its edits and shows what the calls
// return; every read lands in CardBuffer. The database calls nothing back.
// File failures raise EInOutError.

#include <optional>
#include <string>

#include "app/cardrecord.h"

namespace vandrex {

// What a call leaves for the window to show.
struct TCardUpdate {
    bool Created = false;     // Open made a new file
    bool ShowCard = false;    // CardBuffer holds card CardIndex, to be shown
    bool ClearEdits = false;  // the card shown became empty
    std::optional<int> SliderMax;  // the slider's new maximum (cards - 1)
};

class TCardDatabase {
public:
    TCardDatabase();
    ~TCardDatabase();
    TCardDatabase(const TCardDatabase&) = delete;
    TCardDatabase& operator=(const TCardDatabase&) = delete;

    // Open or create the file (closing any previous handle first). Existing
    // file: CardCount := records, record 0 read when there is one, CardIndex
    // 0, position after record 0; the slider maximum is CardCount - 1. New
    // file: one empty record written at 0 and read, position 0; CardCount not
    // recounted and no slider maximum. File errors raise EInOutError and
    // leave no handle open.
    TCardUpdate Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    int RecordCount() const;       // file size / 238
    int Position() const;          // file position in records
    void Seek(int record);
    bool Eof() const;              // Position() >= RecordCount()

    // Seek to k, read one record into CardBuffer, seek back to k.
    void ReadCard(int k);
    // Encodes the texts (file order, card code page; each cut to its field's
    // capacity) into CardBuffer and writes it at the current position, or
    // appends it at the end. A card another copy moved since this copy read
    // it is followed (CardIndex changes); one another copy changed raises
    // EInOutError and nothing is written. Texts equal to what was read write
    // nothing.
    void StoreCard(const CardTexts& texts);
    // Appends an empty card: CardIndex := records, CardBuffer empty, position
    // at the new card. Returns CardIndex.
    int AppendCard();
    // Removes card CardIndex: the last record moves into its slot (the only
    // card is blanked instead). CardBuffer then holds the card now at
    // CardIndex. Raises EInOutError on an empty file.
    TCardUpdate EraseCardAt();
    // Orders the first CardCount records by LastName; ends with CardIndex 0
    // and record 0 read.
    TCardUpdate SortCards();
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
