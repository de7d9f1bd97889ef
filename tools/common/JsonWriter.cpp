#include "tools/common/JsonWriter.h"

#include <cstdio>

namespace tools {

std::string JsonQuote(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", b);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void TJsonWriter::Indent() { out_ << "\n" << std::string(first_.size() * 2, ' '); }

void TJsonWriter::Key(const std::string& key) {
    if (!first_.empty()) {
        if (!first_.back()) out_ << ",";
        first_.back() = false;
        Indent();
    }
    if (!key.empty()) out_ << JsonQuote(key) << ": ";
}

void TJsonWriter::Open(const std::string& key, char bracket) {
    Key(key);
    out_ << bracket;
    first_.push_back(true);
}

void TJsonWriter::Close(char bracket) {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) Indent();
    out_ << bracket;
}

void TJsonWriter::Value(const std::string& key, const std::string& value) {
    Key(key);
    out_ << JsonQuote(value);
}

void TJsonWriter::Value(const std::string& key, std::int64_t value) {
    Key(key);
    out_ << value;
}

void TJsonWriter::Value(const std::string& key, bool value) {
    Key(key);
    out_ << (value ? "true" : "false");
}

} // namespace tools
