#include "platform/tutil/HeaderAgreement.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <optional>

namespace tutil {

using namespace engine::paradox;
using rtl::TMsg;

namespace {

constexpr std::size_t FixedPartSize = 0x58;
constexpr std::size_t ExtendedPartEnd = 0x78;
constexpr std::size_t MaxNameLength = 255;

std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::string Differs(const std::string& fact, std::uint64_t copy, std::uint64_t own) {
    return rtl::Format(TMsg::StructureFactDiffers, {fact, std::to_string(copy), std::to_string(own)});
}

std::string Differs(const std::string& fact, const std::string& copy, const std::string& own) {
    return rtl::Format(TMsg::StructureFactDiffers, {fact, "\"" + copy + "\"", "\"" + own + "\""});
}

// The name the bytes at `at` still hold: a run of characters ended by a zero within `width`.
// Control characters or no end mean the place was overwritten, and it holds none.
std::optional<std::string> NameAt(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t width) {
    std::string name;
    for (std::size_t i = at; i < b.size() && i < at + width; ++i) {
        if (b[i] == 0) return name.empty() ? std::nullopt : std::optional<std::string>(name);
        if (b[i] < 0x20) return std::nullopt;
        name += static_cast<char>(b[i]);
    }
    return std::nullopt;
}

// Whether the `count` field descriptors at `at` describe records of `recordSize` bytes: a
// field count that takes in a descriptor no field has, or leaves one out, is the damage.
bool FieldsDescribe(const std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t count, std::uint32_t recordSize) {
    if (at + 2 * static_cast<std::size_t>(count) > b.size()) return false;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const int size = FieldStorageSize(b[at + 2 * i], b[at + 2 * i + 1]);
        if (size <= 0) return false;
        sum += static_cast<std::uint32_t>(size);
    }
    return sum == recordSize;
}

// The names at the places the copy's layout puts them: the table's name, then the fields'.
std::string NamesDisagreement(const TBorrowedStructure& s, const std::vector<std::uint8_t>& own) {
    const TTableHeader& c = s.Header;
    const std::vector<std::uint8_t>& copy = s.HeaderBytes;
    const std::size_t fields = c.Fields.size();
    std::size_t at = (c.Version >= 5 ? ExtendedPartEnd : FixedPartSize) + 2 * fields + 4 + 4 * fields;
    const std::size_t tableNameWidth = c.Version >= 12 ? 261 : 79;
    const auto copyTable = NameAt(copy, at, tableNameWidth);
    const auto ownTable = NameAt(own, at, tableNameWidth);
    if (copyTable && ownTable && !rtl::SameTextAscii(*copyTable, *ownTable))
        return Differs(rtl::Text(TMsg::FactTableName), *copyTable, *ownTable);
    at += tableNameWidth;
    for (std::size_t i = 0; i < fields; ++i) {
        const auto copyName = NameAt(copy, at, MaxNameLength + 1);
        if (!copyName) break;  // a sound header's names are all there; nothing to line up past this
        const auto ownName = NameAt(own, at, MaxNameLength + 1);
        if (ownName && *ownName != *copyName)
            return Differs(rtl::Format(TMsg::FactFieldName, {std::to_string(i + 1)}), *copyName, *ownName);
        at += copyName->size() + 1;
    }
    return {};
}

} // namespace

std::string HeaderDisagreement(const TBorrowedStructure& s, const std::vector<std::uint8_t>& own) {
    const TTableHeader& c = s.Header;
    if (own.size() < FixedPartSize) return {};
    // A fixed part whose file type and version are both none a data file has is noise written
    // over the header: a byte there that happens to look valid says nothing.
    const bool noise = own[0x04] != fileKeyedDb && own[0x04] != fileUnkeyedDb && (own[0x39] < 3 || own[0x39] > 12);
    if (noise) return {};
    // A fixed part of zeros holds no fact at all (a zero file type would read as "keyed").
    const bool wiped = std::all_of(own.begin(), own.begin() + FixedPartSize, [](std::uint8_t b) { return b == 0; });
    if (!wiped) {
        const std::uint32_t blockKiB = own[0x05];
        const bool blockValid = blockKiB >= 1 && blockKiB <= 32;
        if (blockValid && blockKiB * 1024 != c.BlockSize)
            return Differs(rtl::Text(TMsg::FactBlockSize), c.BlockSize / 1024, blockKiB);
        const std::uint32_t block = blockValid ? blockKiB * 1024 : c.BlockSize;

        const std::uint32_t recordSize = Le16(own, 0x00);
        const bool recordValid = recordSize != 0 && recordSize + static_cast<std::uint32_t>(BlockHeaderSize) <= block;
        if (recordValid && recordSize != c.StoredRecordSize)
            return Differs(rtl::Text(TMsg::FactRecordSize), c.StoredRecordSize, recordSize);

        const std::uint8_t type = own[0x04];
        if ((type == fileKeyedDb || type == fileUnkeyedDb) && type != c.FileType)
            return Differs(rtl::Text(TMsg::FactFileType), c.FileType, type);

        const std::uint32_t fieldCount = Le16(own, 0x21);
        const std::size_t list = c.Version >= 5 ? ExtendedPartEnd : FixedPartSize;
        const bool countValid = fieldCount >= 1 && fieldCount <= 255 &&
                                FieldsDescribe(own, list, fieldCount, recordValid ? recordSize : c.StoredRecordSize);
        if (countValid && fieldCount != c.Fields.size())
            return Differs(rtl::Text(TMsg::FactFieldCount), c.Fields.size(), fieldCount);

        const std::uint32_t keyCount = Le16(own, 0x23);
        if (keyCount <= (countValid ? fieldCount : c.Fields.size()) && keyCount != c.KeyFieldCount)
            return Differs(rtl::Text(TMsg::FactKeyFieldCount), c.KeyFieldCount, keyCount);
    }
    // The code page lies in the extension of 4.x and later data files' headers; a number no
    // code page has (zeros, noise) is the damage, not a fact.
    const std::uint32_t codePage = own.size() >= ExtendedPartEnd ? Le16(own, 0x6A) : 0;
    if (c.Version >= 5 && codePage != 0 && HasOwnCodePageTable(static_cast<int>(codePage)) && codePage != c.CodePage)
        return Differs(rtl::Text(TMsg::FactCodePage), c.CodePage, codePage);
    return NamesDisagreement(s, own);
}

} // namespace tutil
