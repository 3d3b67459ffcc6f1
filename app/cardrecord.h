#pragma once
// The 238-byte card record of "Your DataBase.DAT" and the text encoding of its
// fields. Texts here are byte strings of the Windows-1252 code page.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vandrex {

// Fields in file order (not the order of the edits: Room is fourth, EMail last).
enum class CardField { FirstName, LastName, Address, Room, Zipcode, City, State, Phone, Fax, Mobile, EMail };
constexpr int kCardFieldCount = 11;
constexpr int kCardRecordSize = 238;

struct CardFieldInfo {
    const char* name;  // "FirstName" ...
    int offset;        // byte offset of the length byte
    int size;          // length byte plus capacity
    int capacity;      // characters
};

// Field table in file order.
const std::array<CardFieldInfo, kCardFieldCount>& CardFields();
const CardFieldInfo& FieldInfo(CardField field);
// The field with that record name ("LastName"), or -1.
int FindCardField(std::string_view name);

// Stored byte at 1-based position i = (plain + i - 1) mod 256.
std::string EncodeCardText(std::string_view plain);
std::string DecodeCardText(std::string_view stored);

struct TCardRecord {
    std::array<std::uint8_t, kCardRecordSize> bytes{};

    // The stored (encoded) bytes of a field; a length byte above the capacity
    // of a damaged record is read as the capacity.
    std::string_view storedText(CardField field) const;
    // The decoded text of a field.
    std::string text(CardField field) const;
    // Encodes, cuts to the capacity and stores; bytes after the text are left
    // as they were.
    void setText(CardField field, std::string_view plain);
};

// Plain texts of the eleven fields, in file order.
using CardTexts = std::array<std::string, kCardFieldCount>;

}  // namespace vandrex
