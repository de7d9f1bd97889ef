#include "database/TableDiff.h"

#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace database {

namespace {

using namespace engine::paradox;
using rtl::TMsg;

// A row's values as bytes that compare equal exactly when the values do: per value a flags
// byte, then what the flags say is there. It reads back (for the examples) without the types.
enum : std::uint8_t { ValNull = 1, ValBlobBad = 2, ValRaw = 4, ValInteger = 8, ValNumber = 16, ValBytes = 32 };

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void PutU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

std::uint64_t GetU(std::string_view& in, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes && i < static_cast<int>(in.size()); ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[static_cast<std::size_t>(i)])) << (8 * i);
    in.remove_prefix(std::min<std::size_t>(static_cast<std::size_t>(bytes), in.size()));
    return v;
}

void AppendValue(std::string& out, const TFieldValue& v) {
    std::uint64_t numberBits = 0;
    std::memcpy(&numberBits, &v.Number, sizeof numberBits);
    const std::uint8_t flags = static_cast<std::uint8_t>((v.IsNull ? ValNull : 0) | (v.BlobBad ? ValBlobBad : 0) |
                                                         (v.Raw ? ValRaw : 0) | (v.Integer != 0 ? ValInteger : 0) |
                                                         (numberBits != 0 ? ValNumber : 0) |
                                                         (!v.Bytes.empty() ? ValBytes : 0));
    out += static_cast<char>(flags);
    if (flags & ValInteger) PutU64(out, static_cast<std::uint64_t>(v.Integer));
    if (flags & ValNumber) PutU64(out, numberBits);
    if (flags & ValBytes) {
        PutU32(out, static_cast<std::uint32_t>(v.Bytes.size()));
        out += v.Bytes;
    }
}

TFieldValue ReadValue(std::string_view& in) {
    TFieldValue v;
    if (in.empty()) return v;
    const auto flags = static_cast<std::uint8_t>(in.front());
    in.remove_prefix(1);
    v.IsNull = flags & ValNull;
    v.BlobBad = flags & ValBlobBad;
    v.Raw = flags & ValRaw;
    if (flags & ValInteger) v.Integer = static_cast<std::int64_t>(GetU(in, 8));
    if (flags & ValNumber) {
        const std::uint64_t bits = GetU(in, 8);
        std::memcpy(&v.Number, &bits, sizeof bits);
    }
    if (flags & ValBytes) {
        const auto size = std::min<std::size_t>(GetU(in, 4), in.size());
        v.Bytes.assign(in.substr(0, size));
        in.remove_prefix(size);
    }
    return v;
}

TRowText RowText(std::string_view row, const std::vector<TFieldInfo>& fields) {
    TRowText text;
    for (const TFieldInfo& f : fields) {
        if (row.empty()) break;
        const TFieldValue v = ReadValue(row);
        text.push_back(v.BlobBad ? "?" : FormatFieldValue(v, f.TypeCode));
    }
    return text;
}

// One side of the comparison, open for reading.
struct TSide {
    std::string Label;  // "live table" or "backup", in the reader's language
    rtl::TAdvisoryLock Held;
    std::unique_ptr<TParadoxTable> Table;
};

// Opens the table at `path`; the live one is held shared while it is read, as a reader would.
std::string OpenSide(TSide& side, const std::string& name, const std::string& path, bool live) {
    try {
        if (live) side.Held = rtl::TAdvisoryLock::Acquire(path, rtl::TLockKind::Shared, "table \"" + name + "\"");
        side.Table = TParadoxTable::Open(path);
    } catch (const std::exception& e) {
        return e.what();
    }
    if (side.Table->Header().IsEncrypted()) return rtl::Text(TMsg::DiffPasswordProtected);
    return "";
}

std::size_t KeyFields(const TTableHeader& h) {
    return h.IsKeyed() ? std::min<std::size_t>(h.KeyFieldCount, h.Fields.size()) : 0;
}

bool SameFields(const TTableHeader& a, const TTableHeader& b) {
    if (a.Fields.size() != b.Fields.size()) return false;
    for (std::size_t i = 0; i < a.Fields.size(); ++i) {
        const TFieldInfo& x = a.Fields[i];
        const TFieldInfo& y = b.Fields[i];
        if (x.TypeCode != y.TypeCode || x.Size != y.Size || x.SizeByte != y.SizeByte || !rtl::SameTextAscii(x.Name, y.Name))
            return false;
    }
    return true;
}

std::uint64_t FileSize(const std::string& path) {
    rtl::TFileStatus st;
    return rtl::FileSystem().Stat(path, st) == 0 ? st.Size : 0;
}

// What a table's rows take as bucket entries, about: its files, twice over for the key.
std::uint64_t SpreadSize(const TParadoxTable& table) {
    const std::string memo = rtl::ChangeFileExt(table.Path(), ".mb");
    return 2 * FileSize(table.Path()) + FileSize(memo);
}

// Bucket files of one side: entries of key and row, each to the bucket its hash picks.
class TBucketFiles {
public:
    TBucketFiles(const std::string& scratch, const std::string& side, std::size_t count) : buffers_(count) {
        for (std::size_t i = 0; i < count; ++i) {
            paths_.push_back(rtl::WithTrailingSeparator(scratch) + side + std::to_string(i));
            fds_.emplace_back(rtl::FileSystem().Open(paths_.back(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600));
            if (!fds_.back().Valid()) Fail(errno);
        }
    }
    ~TBucketFiles() {
        for (const auto& p : paths_) rtl::FileSystem().Unlink(p);
    }
    TBucketFiles(const TBucketFiles&) = delete;
    TBucketFiles& operator=(const TBucketFiles&) = delete;

    // `key` empty: the whole row is the key.
    void Add(const std::string& key, const std::string& row) {
        const std::string_view match = key.empty() ? std::string_view(row) : std::string_view(key);
        const std::size_t i = std::hash<std::string_view>{}(match) % buffers_.size();
        std::string& b = buffers_[i];
        PutU32(b, static_cast<std::uint32_t>(key.size()));
        PutU32(b, static_cast<std::uint32_t>(row.size()));
        b += key;
        b += row;
        if (b.size() >= FlushBytes) Flush(i);
    }
    void Finish() {
        for (std::size_t i = 0; i < buffers_.size(); ++i) Flush(i);
        for (auto& fd : fds_)
            if (fd.Reset() != 0) Fail(errno);
    }
    // The content of bucket `i`, after Finish.
    std::string Content(std::size_t i) const {
        std::string content;
        if (!rtl::ReadWholeFile(paths_[i], content)) Fail(errno);
        return content;
    }

private:
    static constexpr std::size_t FlushBytes = 32 * 1024;
    void Flush(std::size_t i) {
        if (buffers_[i].empty()) return;
        if (!rtl::WriteAll(fds_[i].Get(), buffers_[i].data(), buffers_[i].size())) Fail(errno);
        buffers_[i].clear();
    }
    [[noreturn]] void Fail(int error) const {
        throw rtl::EFileError(rtl::Format(TMsg::DiffScratchNotWritten,
                                          {rtl::ExtractFileDir(paths_.back()), rtl::SystemReason(error)}));
    }
    std::vector<std::string> paths_;
    std::vector<rtl::TFileDescriptor> fds_;
    std::vector<std::string> buffers_;
};

struct TEntry {
    std::string_view Key, Row;
};

std::vector<TEntry> Entries(std::string_view content) {
    std::vector<TEntry> entries;
    while (content.size() >= 8) {
        const auto keySize = static_cast<std::size_t>(GetU(content, 4));
        const auto rowSize = static_cast<std::size_t>(GetU(content, 4));
        if (content.size() < keySize + rowSize) break;
        TEntry e;
        e.Row = content.substr(keySize, rowSize);
        e.Key = keySize == 0 ? e.Row : content.substr(0, keySize);
        entries.push_back(e);
        content.remove_prefix(keySize + rowSize);
    }
    return entries;
}

class TTableComparer {
public:
    TTableComparer(TTableDiff& diff, const TTableDiffLimits& limits) : diff_(diff), limits_(limits) {}

    // Reads every row of `side` into `buckets`; what reading finds wrong becomes notes.
    // `keyFields`: how many leading fields rows are matched by (0: the whole row).
    std::uint64_t Spread(const TSide& side, std::size_t keyFields, TBucketFiles& buckets) {
        const TRecordDecoder decoder = side.Table->Decoder();
        TProblemList problems;
        std::vector<TFieldValue> values;
        std::vector<TBlobFailure> failures;
        std::string key, row;
        std::uint64_t rows = 0, valuesNotRead = 0, cut = 0;
        side.Table->ForEachRecord(
            [&](const TRecordRef& r) {
                if (!r.Whole) {
                    ++cut;
                    return true;
                }
                failures.clear();
                decoder.Decode(r.Bytes, values, &failures);
                valuesNotRead += failures.size();
                key.clear();
                row.clear();
                for (std::size_t i = 0; i < values.size(); ++i) {
                    if (i == keyFields && keyFields > 0) key = row;
                    AppendValue(row, values[i]);
                }
                if (keyFields >= values.size() && keyFields > 0) key = row;
                buckets.Add(key, row);
                ++rows;
                return true;
            },
            problems);
        buckets.Finish();
        for (const auto& p : side.Table->OpenProblems()) problems.push_back(p);
        if (cut > 0) diff_.Notes.push_back(rtl::Format(TMsg::DiffRowsCutOff, {side.Label, std::to_string(cut)}));
        if (valuesNotRead > 0)
            diff_.Notes.push_back(rtl::Format(TMsg::DiffValuesNotRead, {side.Label, std::to_string(valuesNotRead)}));
        for (const auto& p : problems) diff_.Notes.push_back(side.Label + ": " + p.Text);
        return rows;
    }

    void CompareBucket(const std::string& liveContent, const std::string& backupContent,
                       const std::vector<TFieldInfo>& fields) {
        const std::vector<TEntry> live = Entries(liveContent);
        const std::vector<TEntry> backup = Entries(backupContent);
        std::unordered_multimap<std::string_view, std::size_t> byKey;
        byKey.reserve(live.size());
        for (std::size_t i = 0; i < live.size(); ++i) byKey.emplace(live[i].Key, i);
        std::vector<bool> taken(live.size()), matched(backup.size());
        // Alike rows first, so that a key held twice pairs its alike rows before its others.
        for (std::size_t j = 0; j < backup.size(); ++j) {
            const auto [first, last] = byKey.equal_range(backup[j].Key);
            for (auto it = first; it != last; ++it)
                if (!taken[it->second] && live[it->second].Row == backup[j].Row) {
                    taken[it->second] = matched[j] = true;
                    ++diff_.Same;
                    break;
                }
        }
        for (std::size_t j = 0; j < backup.size(); ++j) {
            if (matched[j]) continue;
            bool paired = false;
            const auto [first, last] = byKey.equal_range(backup[j].Key);
            for (auto it = first; it != last && !paired; ++it)
                if (!taken[it->second]) {
                    taken[it->second] = paired = true;
                    ++diff_.Differ;
                    if (Wanted(diff_.DifferExamples.size()))
                        diff_.DifferExamples.push_back({RowText(live[it->second].Row, fields), RowText(backup[j].Row, fields)});
                }
            if (paired) continue;
            ++diff_.OnlyInBackup;
            if (Wanted(diff_.OnlyBackupExamples.size())) diff_.OnlyBackupExamples.push_back(RowText(backup[j].Row, fields));
        }
        for (std::size_t i = 0; i < live.size(); ++i) {
            if (taken[i]) continue;
            ++diff_.OnlyInLive;
            if (Wanted(diff_.OnlyLiveExamples.size())) diff_.OnlyLiveExamples.push_back(RowText(live[i].Row, fields));
        }
    }

private:
    bool Wanted(std::size_t have) const { return have < limits_.Examples; }
    TTableDiff& diff_;
    const TTableDiffLimits& limits_;
};

void SortExamples(TTableDiff& diff) {
    std::sort(diff.OnlyLiveExamples.begin(), diff.OnlyLiveExamples.end());
    std::sort(diff.OnlyBackupExamples.begin(), diff.OnlyBackupExamples.end());
    std::sort(diff.DifferExamples.begin(), diff.DifferExamples.end(),
              [](const auto& a, const auto& b) { return a.Live < b.Live; });
}

} // namespace

TTableDiff DiffTable(const std::string& name, const std::string& livePath, const std::string& backupPath,
                     const std::string& scratch, const TTableDiffLimits& limits) {
    TTableDiff diff;
    diff.Table = name;
    TSide live{rtl::Text(TMsg::DiffSideLive), {}, {}};
    TSide backup{rtl::Text(TMsg::DiffSideBackup), {}, {}};
    if (livePath.empty() || backupPath.empty()) {
        TSide& only = livePath.empty() ? backup : live;
        diff.State = livePath.empty() ? TTableDiff::TState::OnlyBackup : TTableDiff::TState::OnlyLive;
        if (const std::string why = OpenSide(only, name, livePath.empty() ? backupPath : livePath, !livePath.empty());
            !why.empty()) {
            diff.Problem = only.Label + ": " + why;
            return diff;
        }
        (livePath.empty() ? diff.BackupRows : diff.LiveRows) = only.Table->CountReadableRecords();
        return diff;
    }
    for (auto [side, path, isLive] : {std::tuple{&live, &livePath, true}, std::tuple{&backup, &backupPath, false}})
        if (const std::string why = OpenSide(*side, name, *path, isLive); !why.empty()) {
            diff.State = TTableDiff::TState::NotRead;
            diff.Problem = side->Label + ": " + why;
            return diff;
        }
    const TTableHeader& h = live.Table->Header();
    for (const TFieldInfo& f : h.Fields) diff.Fields.push_back(f.Name);
    if (!SameFields(h, backup.Table->Header())) {
        diff.State = TTableDiff::TState::FieldsDiffer;
        diff.Problem = rtl::Text(TMsg::DiffFieldsDiffer);
        diff.LiveRows = live.Table->CountReadableRecords();
        diff.BackupRows = backup.Table->CountReadableRecords();
        return diff;
    }
    // A table the key repair recreated may have lost its key, or a backup's copy gained one:
    // the rows are still matched by the key one of them has.
    const std::size_t liveKey = KeyFields(h), backupKey = KeyFields(backup.Table->Header());
    const std::size_t keyFields = liveKey > 0 ? liveKey : backupKey;
    if (liveKey != backupKey)
        diff.Notes.push_back(rtl::Format(TMsg::DiffKeysDiffer, {std::to_string(liveKey), std::to_string(backupKey)}));
    diff.Keyed = keyFields > 0;

    const std::uint64_t spread = std::max(SpreadSize(*live.Table), SpreadSize(*backup.Table));
    const std::uint64_t perBucket = std::max<std::uint64_t>(limits.BucketBytes, 1);
    const auto count = static_cast<std::size_t>(std::clamp<std::uint64_t>((spread + perBucket - 1) / perBucket, 1, 512));
    TBucketFiles liveBuckets(scratch, "live-", count), backupBuckets(scratch, "backup-", count);
    TTableComparer comparer(diff, limits);
    diff.LiveRows = comparer.Spread(live, keyFields, liveBuckets);
    diff.BackupRows = comparer.Spread(backup, keyFields, backupBuckets);
    for (std::size_t i = 0; i < count; ++i) comparer.CompareBucket(liveBuckets.Content(i), backupBuckets.Content(i), h.Fields);
    SortExamples(diff);
    return diff;
}

} // namespace database
