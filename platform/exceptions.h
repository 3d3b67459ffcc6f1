#pragma once
// The exception hierarchy of the program. Every failure a component reports
// derives from Exception and carries the one-line message the error box shows.

#include <stdexcept>
#include <string>

namespace vandrex {

// Base of all of the program's exceptions (the runtime's plain Exception).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// File input/output failure: opening, reading, writing, seeking or truncating.
class EInOutError : public Exception {
public:
    explicit EInOutError(const std::string& message) : Exception(message) {}
};

// A picture file that cannot be decoded ("unrecognized BMP" ...).
class EInvalidGraphic : public Exception {
public:
    explicit EInvalidGraphic(const std::string& message) : Exception(message) {}
};

// A text that does not convert to a number.
class EConvertError : public Exception {
public:
    explicit EConvertError(const std::string& message) : Exception(message) {}
};

}  // namespace vandrex
