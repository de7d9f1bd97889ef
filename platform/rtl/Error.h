// The common base of every error the program raises: a readable message, nothing more.
// Callers that show errors to the user (the standard error box, the CLI) catch this type.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

class EError : public std::runtime_error {
public:
    explicit EError(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A file could not be opened, created, read or written.
class EFileError : public EError {
public:
    using EError::EError;
};

} // namespace rtl
