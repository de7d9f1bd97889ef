// The live sessions and connected databases of the process, so that objects can find
// each other by name. Single-threaded, like the rest of the engine.
#pragma once

#include <string>
#include <vector>

namespace engine {

class TSession;
class TDatabase;

struct TEngineRegistry {
    std::vector<TSession*> sessions;
    std::vector<TDatabase*> databases;  // connected ones only

    std::vector<TDatabase*> DatabasesOf(const std::string& sessionName) const;
    // The connected database of that name in that session (any session when empty).
    TDatabase* FindDatabase(const std::string& sessionName, const std::string& databaseName) const;
};

TEngineRegistry& Registry();

} // namespace engine
