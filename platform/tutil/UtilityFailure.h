// How the library's inner parts report a failure: a result code and what failed. The public
// calls catch it, remember the detail for TUGetErrorString and return the code.
#pragma once

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/tutil/TableUtility.h"

#include <stdexcept>
#include <string>

namespace tutil {

class TUtilFailure : public std::runtime_error {
public:
    TUtilFailure(TUResult code, const std::string& detail) : std::runtime_error(detail), code_(code) {}
    TUResult Code() const { return code_; }

private:
    TUResult code_;
};

[[noreturn]] inline void Fail(TUResult code, const std::string& detail = {}) { throw TUtilFailure(code, detail); }

// The code an engine error gets in a step that fails with `otherwise`: a lock or a password
// keep their own; a missing or unreadable table, while it is read, says so.
inline TUResult CodeOf(const engine::EDBEngineError& e, TUResult otherwise) {
    switch (e.Kind()) {
    case engine::TEngineErrorKind::Locked: return TUERR_LOCKED;
    case engine::TEngineErrorKind::Encrypted: return TUERR_ENCRYPTED;
    case engine::TEngineErrorKind::NotFound: return otherwise == TUERR_READ ? TUERR_NOSUCHTABLE : otherwise;
    case engine::TEngineErrorKind::NotATable:
    case engine::TEngineErrorKind::Corrupt: return otherwise == TUERR_READ ? TUERR_NOTATABLE : otherwise;
    default: return otherwise;
    }
}

// Runs one step of a run; an engine or file error in it becomes a failure with `code`.
template <class TFn>
void During(TUResult code, TFn&& fn) {
    try {
        fn();
    } catch (const TUtilFailure&) {
        throw;
    } catch (const engine::EDBEngineError& e) {
        throw TUtilFailure(CodeOf(e, code), e.Message());
    } catch (const rtl::ELockBusy& e) {
        throw TUtilFailure(TUERR_LOCKED, e.Message());
    } catch (const rtl::EError& e) {
        throw TUtilFailure(code, e.Message());
    }
}

// Remembers `detail` as what the most recent failure with `code` was about ("" for none).
void RememberFailure(TUResult code, const std::string& detail);

} // namespace tutil
