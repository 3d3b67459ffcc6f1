#include "platform/duration.h"

#include <cstdio>

#include "platform/exceptions.h"

namespace vandrex {

std::string FormatDuration(long long seconds) {
    if (seconds < 0) seconds = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buf;
}

namespace {
long long part(const std::string& text, std::size_t pos) {
    const std::string digits = pos < text.size() ? text.substr(pos, 2) : std::string();
    bool ok = !digits.empty();
    long long value = 0;
    for (char c : digits) {
        if (c == ' ') continue;  // masked edits pad with blanks
        if (c < '0' || c > '9') { ok = false; break; }
        value = value * 10 + (c - '0');
    }
    if (!ok || digits.find_first_not_of(' ') == std::string::npos)
        throw EConvertError("'" + digits + "' is not a valid integer value");
    return value;
}
}  // namespace

long long ParseDuration(const std::string& text) {
    return part(text, 0) * 3600 + part(text, 3) * 60 + part(text, 6);
}

}  // namespace vandrex
