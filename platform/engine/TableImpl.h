// The private state of a TTable, shared by the files that implement its parts
// (family operations, definitions, row access and writing).
#pragma once

#include "platform/engine/EngineObjects.h"

#include <memory>
#include <string>

namespace engine {

struct TTable::Impl {
    bool active = false;
};

// The directory a table lives in: the directory of a table named by path, else its
// connected database's directory. Raises when the database is not connected.
std::string TableDirectory(const TTable& table);

} // namespace engine
