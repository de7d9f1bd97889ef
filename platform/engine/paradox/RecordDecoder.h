// Turns the bytes of one record into field values: numbers, dates, text in UTF-8, BCD
// decimals and blobs fetched from the memo file.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/MemoFile.h"
#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

struct TBlobFailure {
    int Field = 0;
    std::string Reason;
};

class TRecordDecoder {
public:
    // `memo` may be null (no .mb); blob fields then decode as bad unless they fit the leader.
    TRecordDecoder(const TTableHeader& header, const TMemoFile* memo) : header_(header), memo_(memo) {}

    // Decodes `record` (RecordSize bytes). Blobs that cannot be read come back null with
    // BlobBad set and a failure appended to `failures` (when given).
    void Decode(const std::uint8_t* record, std::vector<TFieldValue>& values,
                std::vector<TBlobFailure>* failures = nullptr) const;
    TFieldValue DecodeField(const std::uint8_t* record, int field, std::vector<TBlobFailure>* failures) const;

private:
    const TTableHeader& header_;
    const TMemoFile* memo_;
};

// The value as `pdx dump` writes it (empty for null).
std::string FormatFieldValue(const TFieldValue& value, std::uint8_t typeCode);

} // namespace engine::paradox
