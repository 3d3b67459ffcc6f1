#include "app/cardrecord.h"

namespace vandrex {

namespace {
// Offsets follow from the sizes: fields are packed back to back, 238 bytes.
constexpr std::array<CardFieldInfo, kCardFieldCount> kFields = {{
    {"FirstName", 0, 21, 20},
    {"LastName", 21, 41, 40},
    {"Address", 62, 41, 40},
    {"Room", 103, 6, 5},
    {"Zipcode", 109, 7, 6},
    {"City", 116, 16, 15},
    {"State", 132, 11, 10},
    {"Phone", 143, 18, 17},
    {"Fax", 161, 18, 17},
    {"Mobile", 179, 18, 17},
    {"EMail", 197, 41, 40},
}};

constexpr bool FieldsArePacked() {
    int offset = 0;
    for (const auto& f : kFields) {
        if (f.offset != offset || f.size != f.capacity + 1) return false;
        offset += f.size;
    }
    return offset == kCardRecordSize;
}
static_assert(FieldsArePacked(), "card fields must fill the record back to back");
}  // namespace

const std::array<CardFieldInfo, kCardFieldCount>& CardFields() { return kFields; }

const CardFieldInfo& FieldInfo(CardField field) { return kFields[static_cast<int>(field)]; }

int FindCardField(std::string_view name) {
    for (int i = 0; i < kCardFieldCount; ++i)
        if (name == kFields[i].name) return i;
    return -1;
}

// The shift wraps modulo 256; unsigned char arithmetic does exactly that.
std::string EncodeCardText(std::string_view plain) {
    std::string out(plain);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) + static_cast<unsigned char>(i));
    return out;
}

std::string DecodeCardText(std::string_view stored) {
    std::string out(stored);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) - static_cast<unsigned char>(i));
    return out;
}

std::string_view TCardRecord::storedText(CardField field) const {
    const CardFieldInfo& f = FieldInfo(field);
    int length = bytes[f.offset];
    if (length > f.capacity) length = f.capacity;
    return {reinterpret_cast<const char*>(bytes.data()) + f.offset + 1, static_cast<std::size_t>(length)};
}

std::string TCardRecord::text(CardField field) const { return DecodeCardText(storedText(field)); }

void TCardRecord::setText(CardField field, std::string_view plain) {
    const CardFieldInfo& f = FieldInfo(field);
    std::string stored = EncodeCardText(plain);
    if (stored.size() > static_cast<std::size_t>(f.capacity)) stored.resize(f.capacity);
    bytes[f.offset] = static_cast<std::uint8_t>(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i)
        bytes[f.offset + 1 + i] = static_cast<std::uint8_t>(stored[i]);
}

}  // namespace vandrex
