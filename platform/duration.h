#pragma once
// Durations shown as "hh:mm:ss".

#include <string>

namespace vandrex {

// Seconds to hours:minutes:seconds, each part at least two digits ("01:02:03");
// hours above 99 keep all their digits. Negative input shows as "00:00:00".
std::string FormatDuration(long long seconds);

// The reverse, by fixed positions: characters 1-2 are hours, 4-5 minutes and
// 7-8 seconds. A part that is missing or not decimal raises EConvertError.
long long ParseDuration(const std::string& text);

}  // namespace vandrex
