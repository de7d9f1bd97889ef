// Errors of the table engine. Every engine failure is an EDBEngineError carrying a
// readable message and a category that callers may test (a key violation, above all).
#pragma once

#include "platform/rtl/Error.h"

namespace engine {

class EDatabaseError : public rtl::EError {
public:
    using rtl::EError::EError;
};

enum class TEngineErrorKind {
    General,
    NotFound,        // table, alias, directory or session that does not exist
    AlreadyExists,   // a second session of the same name, a table created over another
    NotATable,       // a file that is not a readable Paradox table
    Corrupt,         // a table whose structure is too damaged to be opened at all
    Encrypted,       // a password-protected table whose rows cannot be read
    KeyViolation,    // a posted row whose primary key is already stored
    InvalidRequest,  // an operation the object's state does not allow
    Io,              // the file system refused a read or a write
    Locked,          // another run of the program is changing the table or its directory
};

class EDBEngineError : public EDatabaseError {
public:
    explicit EDBEngineError(const std::string& message, TEngineErrorKind kind = TEngineErrorKind::General)
        : EDatabaseError(message), kind_(kind) {}
    TEngineErrorKind Kind() const { return kind_; }

private:
    TEngineErrorKind kind_;
};

} // namespace engine
