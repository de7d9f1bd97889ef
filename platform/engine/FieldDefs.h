// Field and index definitions as the engine objects hand them to callers: what a table
// is made of, without the bytes of its header.
#pragma once

#include <string>
#include <vector>

namespace engine {

// One value per Paradox field type; AutoInc is distinct from Long, as callers rely on it.
enum class TFieldType {
    Unknown,
    Alpha,      // A
    Date,       // D
    Short,      // S
    Long,       // I
    Currency,   // $
    Number,     // N
    Logical,    // L
    Memo,       // M
    Blob,       // B
    FmtMemo,    // F
    OLE,        // O
    Graphic,    // G
    Time,       // T
    Timestamp,  // @
    AutoInc,    // +
    BCD,        // #
    Bytes,      // Y
};

struct TFieldDef {
    std::string Name;
    TFieldType DataType = TFieldType::Unknown;
    int Size = 0;  // alpha length, memo/blob in-record length, BCD decimals, bytes length; 0 otherwise
    bool Required = false;
};

class TFieldDefs {
public:
    void Clear() { defs_.clear(); }
    void Add(const std::string& name, TFieldType type, int size = 0, bool required = false) {
        defs_.push_back(TFieldDef{name, type, size, required});
    }
    std::size_t Count() const { return defs_.size(); }
    const TFieldDef& operator[](std::size_t i) const { return defs_.at(i); }
    const std::vector<TFieldDef>& Items() const { return defs_; }
    std::vector<TFieldDef>::const_iterator begin() const { return defs_.begin(); }
    std::vector<TFieldDef>::const_iterator end() const { return defs_.end(); }
    // Index of the field named `name` ignoring ASCII case, or -1.
    int IndexOf(const std::string& name) const;

private:
    std::vector<TFieldDef> defs_;
};

enum TIndexOption : unsigned {
    ixPrimary = 1u << 0,
    ixUnique = 1u << 1,
    ixDescending = 1u << 2,
    ixCaseInsensitive = 1u << 3,
};

struct TIndexDef {
    std::string Name;     // empty for the primary index and for single-field .Xnn indexes
    std::string Fields;   // field names joined by ";"
    unsigned Options = 0; // TIndexOption bits
    bool IsPrimary() const { return (Options & ixPrimary) != 0; }
};

class TIndexDefs {
public:
    void Clear() { defs_.clear(); }
    void Add(const std::string& name, const std::string& fields, unsigned options) {
        defs_.push_back(TIndexDef{name, fields, options});
    }
    std::size_t Count() const { return defs_.size(); }
    const TIndexDef& operator[](std::size_t i) const { return defs_.at(i); }
    const std::vector<TIndexDef>& Items() const { return defs_; }
    std::vector<TIndexDef>::const_iterator begin() const { return defs_.begin(); }
    std::vector<TIndexDef>::const_iterator end() const { return defs_.end(); }

private:
    std::vector<TIndexDef> defs_;
};

// Short names for messages and the inspector ("Alpha", "AutoInc", ...).
const char* FieldTypeName(TFieldType type);

} // namespace engine
