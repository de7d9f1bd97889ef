// How the library's inner parts report a failure: a result code and what failed. The public
// calls catch it, remember the detail for TUGetErrorString and return the code.
#pragma once

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

// Remembers `detail` as what the most recent failure with `code` was about ("" for none).
void RememberFailure(TUResult code, const std::string& detail);

} // namespace tutil
