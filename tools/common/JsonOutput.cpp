#include "tools/common/JsonOutput.h"

#include <ostream>

namespace tools {

void PrintJson(std::ostream& out, const TJson& json) {
    out << json.dump(2, ' ', false, TJson::error_handler_t::replace) << "\n";
}

} // namespace tools
