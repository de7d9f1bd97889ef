// The tables of the demo billing database: one per name the program shows a description
// for, each with fields that fit what it holds, its key and its size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sample {

// The most calls the demo database takes: 16 KiB blocks of 94-byte calls hold about
// 11.4 million within a table's 65 535 blocks; up to the smaller figure the call table
// keeps the 4 KiB blocks every earlier measurement used.
inline constexpr std::uint64_t MaxCallRows = 10000000;
inline constexpr std::uint64_t MaxCallRowsIn4KiBBlocks = 2000000;

// What a column's values look like (names, numbers, dates ...); see SampleValues.h.
enum class TValueKind {
    Id, Sequence, Code, Date, Time, Stamp, CallDate, CallTime, Line, Extension, Phone, Mobile, Prefix,
    KeyPrefix, KeyIntlPrefix, IntlPrefix, Seconds, Price, Rate, Amount, Count, Small, Percent, Year, Month,
    Weekday, Tariff, Person, Company, City, Country, Street, Psc, Department, Function, Room, Operator, Phrase,
    Note, Definition, LongDefinition, Bool, Ico, Dic, Login, Email, PasswordHash, AuthCode, InvoiceNumber,
    FirmRef, RawLine, Path, FieldList, LogMessage, CallType, HolidayDate, HolidayName, VatFrom, VatRate,
    TownKey,
};

struct TSampleColumn {
    std::string Name;
    std::uint8_t TypeCode = 0;
    std::uint8_t SizeByte = 0;
    TValueKind Kind = TValueKind::Phrase;
};

// A secondary index: one field gives .Xnn, several a named .XGn.
struct TSampleIndex {
    std::vector<std::string> Fields;
    std::string Name;
};

struct TSampleTable {
    std::string Name;               // as the billing application names it
    std::vector<TSampleColumn> Columns;
    int KeyFieldCount = 0;          // the first N columns; 0 for an unkeyed table
    std::uint64_t Rows = 0;
    std::uint32_t BlockSize = 2048;
    // Most tables store text in the Central European code page under the binary sort order;
    // one keeps its keys in an international order, as tables from other installations do.
    std::uint16_t CodePage = 0;     // 0: the sample's code page
    std::uint8_t SortOrderCode = 0x00;
    std::string SortOrderName = "ascii";
    std::vector<TSampleIndex> Indexes;
    bool AutoIncrementKey() const;  // keyed by an autoincrement "IDXFIELD" first
};

// Every table, in the order the program lists their descriptions; `callRows` sizes the
// table of calls.
std::vector<TSampleTable> SampleTables(std::uint64_t callRows);

// The table of calls ("Hovory").
inline constexpr const char* CallTableName = "Hovory";

} // namespace sample
