#include "platform/engine/paradox/TableRewrite.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/MemoWriter.h"
#include "platform/engine/paradox/RecordSorter.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cstring>

namespace engine::paradox {

namespace {

int KeySizeOf(const TTableHeader& h, int keyFieldCount) {
    int size = 0;
    for (int i = 0; i < keyFieldCount && i < static_cast<int>(h.Fields.size()); ++i)
        size += h.Fields[static_cast<std::size_t>(i)].Size;
    return size;
}

std::vector<TLayoutField> KeyFieldsOf(const TTableHeader& h, int keyFieldCount) {
    std::vector<TLayoutField> keys;
    for (int i = 0; i < keyFieldCount; ++i) {
        const auto& f = h.Fields[static_cast<std::size_t>(i)];
        keys.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
    }
    return keys;
}

[[noreturn]] void KeyViolation(const std::string& dataPath) {
    throw EDBEngineError("Key violation in table \"" + rtl::ExtractFileName(dataPath) + "\"",
                         EngineErrorKind::KeyViolation);
}

} // namespace

std::string CompanionPath(const std::string& dataPath, const std::string& ext) {
    const std::string found = FindCompanionFile(dataPath, ext);
    if (!found.empty()) return found;
    const std::string name = rtl::ExtractFileName(dataPath);
    const auto dot = name.rfind('.');
    const bool upper = dot != std::string::npos && name.size() > dot + 1 && name[dot + 1] == 'D';
    std::string e = ext;
    if (upper)
        for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return dataPath.substr(0, dataPath.size() - (dot == std::string::npos ? 0 : name.size() - dot)) + e;
}

std::uint32_t LargestAutoIncrement(const TTableHeader& header, const std::uint8_t* record) {
    std::uint32_t largest = 0;
    for (const auto& f : header.Fields) {
        if (f.TypeCode != ftAutoInc) continue;
        if (auto v = DecodeFlippedInt(record + f.Offset, 4); v && *v > 0)
            largest = std::max(largest, static_cast<std::uint32_t>(*v));
    }
    return largest;
}

void CreateTableFiles(const std::string& dataPath, const TTableLayout& layout, bool replaceEmpty) {
    if (!replaceEmpty && rtl::FileExists(dataPath))
        throw EDBEngineError("Table \"" + dataPath + "\" already exists", EngineErrorKind::AlreadyExists);
    const bool hasBlobs = std::any_of(layout.Fields.begin(), layout.Fields.end(),
                                      [](const TLayoutField& f) { return IsBlobField(f.TypeCode); });
    std::vector<std::string> temps;
    try {
        if (hasBlobs && !(replaceEmpty && !FindCompanionFile(dataPath, ".mb").empty())) {
            const std::string mb = CompanionPath(dataPath, ".mb");
            temps.push_back(TemporarySibling(mb));
            TMemoWriter::CreateNew(temps.back())->Finish();
            ReplaceFile(temps.back(), mb);
            temps.pop_back();
        }
        auto header = BuildDataHeader(layout);
        if (layout.KeyFieldCount > 0) {
            const std::string px = CompanionPath(dataPath, ".px");
            temps.push_back(TemporarySibling(px));
            TIndexHeaderInfo info;
            for (int i = 0; i < layout.KeyFieldCount; ++i) info.KeyFields.push_back(layout.Fields[static_cast<std::size_t>(i)]);
            info.BlockSize = layout.BlockSize;
            info.Version = header[0x39];
            info.SortOrderCode = layout.SortOrderCode;
            info.Stamp = IndexStampOf(header);
            info.TableName = rtl::ExtractFileName(px);
            WritePrimaryIndex(temps.back(), {}, info);
            ReplaceFile(temps.back(), px);
            temps.pop_back();
        }
        temps.push_back(TemporarySibling(dataPath));
        auto file = TWritableFile::Create(temps.back());
        file->WriteAt(0, header.data(), header.size());
        file->Sync();
        file.reset();
        ReplaceFile(temps.back(), dataPath);
    } catch (...) {
        for (const auto& t : temps) RemoveQuietly(t);
        throw;
    }
}

void AdoptSourceSettings(const std::string& dataPath, const TTableHeader& source) {
    const auto table = TParadoxTable::Open(dataPath);
    const TTableHeader& h = table->Header();
    if (h.RecordCount != 0 || table->CountReadableRecords() != 0 || h.Version < 5) return;
    if (h.EffectiveCodePage() == source.EffectiveCodePage() && h.BlockSize >= source.BlockSize) return;
    TTableLayout layout;
    for (const auto& f : h.Fields) layout.Fields.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
    layout.KeyFieldCount = h.IsKeyed() ? h.KeyFieldCount : 0;
    layout.BlockSize = std::max(h.BlockSize, source.BlockSize);
    layout.Version = h.Version;
    layout.AutoIncrement = h.AutoIncrement;
    layout.TableName = h.TableName;
    TakeCodePage(source, layout);
    CreateTableFiles(dataPath, layout, true);
}

TTableRewrite::TTableRewrite(const std::string& dataPath, int keyFieldCount)
    : source_(TParadoxTable::Open(dataPath)), dataPath_(dataPath), keyFieldCount_(keyFieldCount) {
    const TTableHeader& h = source_->Header();
    if (h.IsEncrypted())
        throw EDBEngineError("Table \"" + rtl::ExtractFileName(dataPath) + "\" is password-protected",
                             EngineErrorKind::Encrypted);
    keySize_ = KeySizeOf(h, keyFieldCount);
    RemoveStaleTemporaries(dataPath);
    RemoveStaleTemporaries(CompanionPath(dataPath, ".px"));
    dataTemp_ = TemporarySibling(dataPath);
    RestartWriter();
}

void TTableRewrite::RestartWriter() {
    const TTableHeader& h = source_->Header();
    writer_.reset();
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, ReadHeaderBytes(source_->File(), h), h.RecordSize,
                                                h.BlockSize, keySize_);
}

TTableRewrite::~TTableRewrite() {
    if (committed_) return;
    writer_.reset();
    RemoveQuietly(dataTemp_);
    RemoveQuietly(indexTemp_);
}

void TTableRewrite::ForEachSourceBlock(const std::function<void(const TDataBlock&)>& fn) {
    ForEachSourceBlockWhile([&](const TDataBlock& b) {
        fn(b);
        return true;
    });
}

void TTableRewrite::ForEachSourceBlockWhile(const std::function<bool(const TDataBlock&)>& fn) {
    TProblemList problems;
    TBlockChainCursor cursor(source_->File(), source_->Header(), problems);
    while (cursor.Next()) {
        if (!problems.empty()) break;
        if (!fn(cursor.Block())) return;
    }
    if (!problems.empty())
        throw EDBEngineError("Table \"" + rtl::ExtractFileName(dataPath_) + "\" is damaged (" + problems.front().Text +
                                 "); it must be rebuilt before it can be changed",
                             EngineErrorKind::Corrupt);
}

void TTableRewrite::Commit(std::uint32_t autoIncrement) {
    THeaderCounts counts;
    counts.AutoIncrement = autoIncrement;
    counts.FileType = keyFieldCount_ > 0 ? fileKeyedDb : fileUnkeyedDb;
    counts.KeyFieldCount = static_cast<std::uint16_t>(keyFieldCount_);
    writer_->Finish(counts);
    const std::vector<std::uint8_t>& header = writer_->Header();
    const std::string px = CompanionPath(dataPath_, ".px");
    if (keyFieldCount_ > 0) {
        indexTemp_ = TemporarySibling(px);
        TIndexHeaderInfo info;
        info.KeyFields = KeyFieldsOf(Header(), keyFieldCount_);
        info.BlockSize = Header().BlockSize;
        info.Version = Header().Version;
        info.SortOrderCode = Header().SortOrderCode;
        info.Stamp = IndexStampOf(header);
        info.TableName = rtl::ExtractFileName(px);
        WritePrimaryIndex(indexTemp_, writer_->Blocks(), info);
    }
    const auto secondaries = FindSecondaryIndexes(dataPath_);
    const bool wasKeyed = Header().IsKeyed();
    writer_.reset();
    source_.reset();
    // The index goes first: until the data file follows, the old table is whole and the
    // new index beside it is merely out of date; the reverse order could leave a keyed
    // table with no index at all.
    if (keyFieldCount_ > 0) ReplaceFile(indexTemp_, px);
    ReplaceFile(dataTemp_, dataPath_);
    committed_ = true;
    if (keyFieldCount_ == 0 && wasKeyed) RemoveQuietly(FindCompanionFile(dataPath_, ".px"));
    for (const auto& s : secondaries) {
        RemoveQuietly(s.DataPath);
        RemoveQuietly(s.TreePath);
    }
}

std::uint64_t InsertRecord(const std::string& dataPath, std::uint8_t* record,
                           const std::function<void(std::uint8_t*)>& prepare) {
    const auto header = TParadoxTable::Open(dataPath)->Header();
    const int keyCount = header.IsKeyed() ? header.KeyFieldCount : 0;
    TTableRewrite rewrite(dataPath, keyCount);
    const int keySize = rewrite.KeySize();
    const int recordSize = header.RecordSize;
    const auto key = static_cast<std::size_t>(keySize);

    // First pass, read only: the block the record goes into, and whether its key is taken.
    std::uint64_t target = 0;
    std::uint64_t blockIndex = 0;
    rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
        if (b.RecordCount > 0 && keySize > 0) {
            if (std::memcmp(b.Record(0, recordSize), record, key) <= 0) target = blockIndex;
            for (int i = 0; i < b.RecordCount; ++i)
                if (std::memcmp(b.Record(i, recordSize), record, key) == 0) KeyViolation(dataPath);
        }
        if (keySize == 0) target = blockIndex;  // unkeyed: the last block
        ++blockIndex;
    });
    const std::uint64_t blockCount = blockIndex;
    prepare(record);

    TDataFileWriter& w = rewrite.Writer();
    const int capacity = w.Capacity();
    std::uint64_t ordinal = 0;
    std::uint64_t before = 0;
    blockIndex = 0;
    std::vector<const std::uint8_t*> rows;
    rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
        rows.clear();
        for (int i = 0; i < b.RecordCount; ++i) rows.push_back(b.Record(i, recordSize));
        if (blockIndex == target) {
            std::size_t pos = rows.size();
            if (keySize > 0) {
                pos = 0;
                while (pos < rows.size() && std::memcmp(rows[pos], record, key) < 0) ++pos;
            }
            ordinal = before + pos;
            const bool appendAtEnd = blockIndex + 1 == blockCount && pos == rows.size();
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(pos), record);
            if (static_cast<int>(rows.size()) > capacity && !appendAtEnd) {
                // A full block splits in half; the last block instead starts a new one.
                const std::size_t half = rows.size() / 2;
                for (std::size_t i = 0; i < half; ++i) w.Add(rows[i]);
                w.EndBlock();
                for (std::size_t i = half; i < rows.size(); ++i) w.Add(rows[i]);
            } else {
                for (const auto* r : rows) w.Add(r);
            }
        } else {
            for (const auto* r : rows) w.Add(r);
        }
        w.EndBlock();
        before += static_cast<std::uint64_t>(b.RecordCount);
        ++blockIndex;
    });
    if (blockCount == 0) w.Add(record);
    rewrite.Commit(std::max(header.AutoIncrement, LargestAutoIncrement(header, record)));
    return ordinal;
}

void DeleteRecord(const std::string& dataPath, std::uint64_t ordinal, const std::string& expected) {
    const auto header = TParadoxTable::Open(dataPath)->Header();
    TTableRewrite rewrite(dataPath, header.IsKeyed() ? header.KeyFieldCount : 0);
    TDataFileWriter& w = rewrite.Writer();
    std::uint64_t at = 0;
    bool found = false;
    rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
        for (int i = 0; i < b.RecordCount; ++i, ++at) {
            const std::uint8_t* r = b.Record(i, header.RecordSize);
            if (at == ordinal) {
                if (std::memcmp(r, expected.data(), expected.size()) != 0) break;
                found = true;
                continue;
            }
            w.Add(r);
        }
        w.EndBlock();
    });
    if (!found)
        throw EDBEngineError("The row to delete is no longer in table \"" + rtl::ExtractFileName(dataPath) + "\"",
                             EngineErrorKind::InvalidRequest);
    rewrite.Commit(header.AutoIncrement);
}

void AddPrimaryKey(const std::string& dataPath, int keyFieldCount, const std::string& tempDir,
                   std::size_t sortMemory) {
    TTableRewrite rewrite(dataPath, keyFieldCount);
    const TTableHeader& header = rewrite.Header();
    const int recordSize = header.RecordSize;
    const auto key = static_cast<std::size_t>(rewrite.KeySize());
    // A table already in strictly ascending key order (as a recreated table is) streams
    // straight through in one pass. The first record out of order ends that pass; the
    // records then go through the sorter from the start.
    bool ascending = true;
    std::vector<std::uint8_t> previous(key);
    bool first = true;
    rewrite.ForEachSourceBlockWhile([&](const TDataBlock& b) {
        for (int i = 0; i < b.RecordCount; ++i) {
            const std::uint8_t* r = b.Record(i, recordSize);
            if (!first && std::memcmp(previous.data(), r, key) >= 0) {
                ascending = false;
                return false;
            }
            std::memcpy(previous.data(), r, key);
            first = false;
            rewrite.Writer().Add(r);
        }
        return true;
    });
    if (ascending) {
        rewrite.Commit(header.AutoIncrement);
        return;
    }
    rewrite.RestartWriter();
    TRecordSorter sorter(recordSize, rewrite.KeySize(), tempDir, sortMemory);
    rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
        if (b.RecordCount > 0) sorter.Add(b.Record(0, recordSize), static_cast<std::size_t>(b.RecordCount));
    });
    sorter.Finish();
    first = true;
    while (const std::uint8_t* r = sorter.Next()) {
        if (!first && std::memcmp(previous.data(), r, key) == 0) KeyViolation(dataPath);
        std::memcpy(previous.data(), r, key);
        first = false;
        rewrite.Writer().Add(r);
    }
    rewrite.Commit(header.AutoIncrement);
}

TAppendResult AppendRecords(const std::string& dataPath, TRecordProducer& producer, bool abortOnKeyViolation,
                            const std::string& tempDir) {
    const auto header = TParadoxTable::Open(dataPath)->Header();
    const int keyCount = header.IsKeyed() ? header.KeyFieldCount : 0;
    TTableRewrite rewrite(dataPath, keyCount);
    TDataFileWriter& w = rewrite.Writer();
    const int recordSize = header.RecordSize;
    TAppendResult result;
    if (keyCount == 0) {
        rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
            for (int i = 0; i < b.RecordCount; ++i) w.Add(b.Record(i, recordSize));
        });
        while (const std::uint8_t* r = producer.Next()) {
            w.Add(r);
            ++result.Appended;
        }
        rewrite.Commit(std::max(header.AutoIncrement, producer.AutoIncrement()));
        return result;
    }

    const auto key = static_cast<std::size_t>(rewrite.KeySize());
    TRecordSorter sorter(recordSize, rewrite.KeySize(), tempDir);
    while (const std::uint8_t* r = producer.Next()) sorter.Add(r);
    sorter.Finish();
    // Merge the stored chain with the sorted new records; a stored record wins its key.
    const std::uint8_t* incoming = sorter.Next();
    std::string lastKey;
    bool haveLast = false;
    auto emit = [&](const std::uint8_t* r, bool isNew) {
        if (haveLast && std::memcmp(lastKey.data(), r, key) == 0) {
            if (!isNew) KeyViolation(dataPath);  // the stored table itself holds duplicates
            if (abortOnKeyViolation) KeyViolation(dataPath);
            ++result.KeyViolations;
            return;
        }
        lastKey.assign(reinterpret_cast<const char*>(r), key);
        haveLast = true;
        w.Add(r);
        if (isNew) ++result.Appended;
    };
    rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
        for (int i = 0; i < b.RecordCount; ++i) {
            const std::uint8_t* stored = b.Record(i, recordSize);
            while (incoming && std::memcmp(incoming, stored, key) < 0) {
                emit(incoming, true);
                incoming = sorter.Next();
            }
            emit(stored, false);
        }
    });
    while (incoming) {
        emit(incoming, true);
        incoming = sorter.Next();
    }
    rewrite.Commit(std::max(header.AutoIncrement, producer.AutoIncrement()));
    return result;
}

} // namespace engine::paradox
