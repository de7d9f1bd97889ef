#include "platform/engine/paradox/FieldTypes.h"

namespace engine::paradox {

TFieldType FieldTypeFromCode(std::uint8_t code) {
    switch (code) {
    case ftAlpha: return TFieldType::Alpha;
    case ftDate: return TFieldType::Date;
    case ftShort: return TFieldType::Short;
    case ftLong: return TFieldType::Long;
    case ftCurrency: return TFieldType::Currency;
    case ftNumber: return TFieldType::Number;
    case ftLogical: return TFieldType::Logical;
    case ftMemo: return TFieldType::Memo;
    case ftBlob: return TFieldType::Blob;
    case ftFmtMemo: return TFieldType::FmtMemo;
    case ftOle: return TFieldType::OLE;
    case ftGraphic: return TFieldType::Graphic;
    case ftTime: return TFieldType::Time;
    case ftTimestamp: return TFieldType::Timestamp;
    case ftAutoInc: return TFieldType::AutoInc;
    case ftBcd: return TFieldType::BCD;
    case ftBytes: return TFieldType::Bytes;
    default: return TFieldType::Unknown;
    }
}

std::uint8_t FieldCodeFromType(TFieldType type) {
    for (std::uint8_t code = 1; code <= ftBytes; ++code)
        if (type != TFieldType::Unknown && FieldTypeFromCode(code) == type) return code;
    return 0;
}

char FieldTypeChar(std::uint8_t code) {
    switch (code) {
    case ftAlpha: return 'A';
    case ftDate: return 'D';
    case ftShort: return 'S';
    case ftLong: return 'I';
    case ftCurrency: return '$';
    case ftNumber: return 'N';
    case ftLogical: return 'L';
    case ftMemo: return 'M';
    case ftBlob: return 'B';
    case ftFmtMemo: return 'F';
    case ftOle: return 'O';
    case ftGraphic: return 'G';
    case ftTime: return 'T';
    case ftTimestamp: return '@';
    case ftAutoInc: return '+';
    case ftBcd: return '#';
    case ftBytes: return 'Y';
    default: return '?';
    }
}

bool IsBlobField(std::uint8_t code) {
    return code == ftMemo || code == ftBlob || code == ftFmtMemo || code == ftOle || code == ftGraphic;
}

int FieldStorageSize(std::uint8_t code, std::uint8_t sizeByte) {
    switch (code) {
    case ftAlpha:
    case ftBytes: return sizeByte >= 1 ? sizeByte : -1;
    case ftShort: return sizeByte == 2 ? 2 : -1;
    case ftDate:
    case ftLong:
    case ftTime:
    case ftAutoInc: return sizeByte == 4 ? 4 : -1;
    case ftCurrency:
    case ftNumber:
    case ftTimestamp: return sizeByte == 8 ? 8 : -1;
    case ftLogical: return sizeByte == 1 ? 1 : -1;
    case ftBcd: return sizeByte <= 32 ? BcdStorageSize : -1;
    case ftMemo: return sizeByte >= BlobDescriptorSize + 1 ? sizeByte : -1;
    case ftBlob:
    case ftFmtMemo:
    case ftOle:
    case ftGraphic: return sizeByte >= BlobDescriptorSize ? sizeByte : -1;
    default: return -1;
    }
}

int FieldLayoutSize(std::uint8_t code, std::uint8_t sizeByte) {
    const int size = FieldStorageSize(code, sizeByte);
    return size < 0 ? sizeByte : size;
}

} // namespace engine::paradox
