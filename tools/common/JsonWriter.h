// A minimal streaming JSON writer for the command-line tools' machine-readable output.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

namespace tools {

std::string JsonQuote(const std::string& utf8);

class TJsonWriter {
public:
    explicit TJsonWriter(std::ostream& out) : out_(out) {}
    void BeginObject(const std::string& key = {}) { Open(key, '{'); }
    void EndObject() { Close('}'); }
    void BeginArray(const std::string& key = {}) { Open(key, '['); }
    void EndArray() { Close(']'); }
    void Value(const std::string& key, const std::string& value);
    void Value(const std::string& key, const char* value) { Value(key, std::string(value)); }
    void Value(const std::string& key, std::int64_t value);
    void Value(const std::string& key, bool value);
    template <typename T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, std::int64_t>)
    void Value(const std::string& key, T value) {
        Value(key, static_cast<std::int64_t>(value));
    }
    void Finish() { out_ << "\n"; }

private:
    void Key(const std::string& key);
    void Open(const std::string& key, char bracket);
    void Close(char bracket);
    void Indent();
    std::ostream& out_;
    std::vector<bool> first_;  // per open container: nothing written yet
};

} // namespace tools
