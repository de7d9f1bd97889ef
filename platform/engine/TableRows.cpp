// Row access on an open table: browsing, appending and posting rows, deleting the current
// row. Changes are held until the table is closed or saved and then written as one net
// change (see EngineObjects.h).
#include "platform/engine/FieldValueCodec.h"
#include "platform/engine/TableImpl.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/KeyLookup.h"
#include "platform/engine/paradox/MemoWriter.h"
#include "platform/engine/paradox/SortOrders.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

using paradox::TStoredPlace;

// Posted rows held in memory beyond this are written out before the next one is taken.
constexpr std::size_t PendingMemoryBound = 8u << 20;

[[noreturn]] void NotOpen(const TTable& t) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::TableNotOpen, {t.TableName}), TEngineErrorKind::InvalidRequest);
}

int FieldIndex(const paradox::TTableHeader& h, const std::string& name) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i)
        if (rtl::SameTextAscii(h.Fields[i].Name, name)) return static_cast<int>(i);
    throw EDBEngineError(rtl::Format(rtl::TMsg::FieldNotFound, {name}), TEngineErrorKind::NotFound);
}

using TFileKey = std::pair<std::uint64_t, std::uint64_t>;

// What changes when another process writes the table (it replaces the file).
std::string IdentityOf(const std::string& path) {
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) != 0) return std::string();
    return std::to_string(st.Device) + ":" + std::to_string(st.Inode) + ":" + std::to_string(st.Size) + ":" +
           std::to_string(st.ModifyNs);
}

void OpenReader(TTable::Impl& m) {
    m.readerIdentity = IdentityOf(m.path);
    m.reader = paradox::TParadoxTable::Open(m.path);
}

bool FileKeyOf(const std::string& path, TFileKey& key) {
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) != 0) return false;
    key = {st.Device, st.Inode};
    return true;
}

// Open table objects that hold unwritten changes, by data file, with the process they
// belong to (a forked child inherits the map but not the changes' lock).
struct TPendingTable {
    const TTable* Table;
    int Process;
};

std::map<TFileKey, TPendingTable>& PendingTables() {
    static std::map<TFileKey, TPendingTable> tables;
    return tables;
}

void ForgetPending(const TTable* table) {
    auto& tables = PendingTables();
    for (auto it = tables.begin(); it != tables.end();)
        it = it->second.Table == table ? tables.erase(it) : std::next(it);
}

// The posted rows as records to append, their blobs stored in the memo file on the way.
class TPendingProducer : public paradox::TRecordProducer {
public:
    TPendingProducer(const std::vector<TPendingRow>& rows, const paradox::TTableHeader& header, std::string dataPath,
                     std::uint32_t autoIncrement)
        : rows_(rows), header_(header), dataPath_(std::move(dataPath)), autoIncrement_(autoIncrement) {}

    const std::uint8_t* Next() override {
        if (next_ == rows_.size()) {
            if (memo_) memo_->Finish();
            memo_.reset();
            return nullptr;
        }
        const TPendingRow& row = rows_[next_++];
        record_ = row.Bytes;
        for (const auto& [field, bytes] : row.Blobs) {
            if (bytes.empty()) continue;
            if (!memo_) memo_ = paradox::TMemoWriter::OpenForAppend(paradox::CompanionPath(dataPath_, ".mb"));
            const auto& f = header_.Fields[static_cast<std::size_t>(field)];
            memo_->Store(bytes, record_.data() + f.Offset, f.Size);
        }
        return record_.data();
    }
    std::uint32_t AutoIncrement() const override { return autoIncrement_; }

private:
    const std::vector<TPendingRow>& rows_;
    const paradox::TTableHeader& header_;
    std::string dataPath_;
    std::uint32_t autoIncrement_;
    std::size_t next_ = 0;
    std::vector<std::uint8_t> record_;
    std::unique_ptr<paradox::TMemoWriter> memo_;
};

int KeySizeOf(const paradox::TTableHeader& h) { return h.IsKeyed() ? paradox::PrimaryKeySize(h) : 0; }

void WritePending(TTable& table, TTable::Impl& m);

} // namespace

void RefuseIfPendingElsewhere(const std::string& dataPath, const TTable* self) {
    TFileKey key;
    if (!FileKeyOf(dataPath, key)) return;
    const auto it = PendingTables().find(key);
    if (it != PendingTables().end() && it->second.Table != self && it->second.Process == rtl::ProcessId())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EnginePendingInOtherCursor, {rtl::ExtractFileName(dataPath)}),
                             TEngineErrorKind::InvalidRequest);
}

void TTable::Open() {
    if (Active()) return;
    if (TableName.empty()) throw EDBEngineError(rtl::Text(rtl::TMsg::EngineNoTableName), TEngineErrorKind::InvalidRequest);
    if (!Exists()) throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExist, {TableName}), TEngineErrorKind::NotFound);
    impl_->path = DataFilePath();
    OpenReader(*impl_);
    impl_->active = true;
    First();
}

void TTable::Close() {
    if (!impl_->active) return;
    Cancel();
    Impl& m = *impl_;
    struct TClosing {
        TTable& Table;
        ~TClosing() {
            Impl& im = *Table.impl_;
            ForgetPending(&Table);
            im.session.reset();
            im.cursor.reset();
            im.reader.reset();
            im.active = false;
            im.eof = true;
            im.current.clear();
        }
    } closing{*this};
    if (m.session) WritePending(*this, m);
}

void TTable::Save() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (m.inserting) Post();
    if (!m.session) return;
    const paradox::TTableHeader header = m.reader->Header();
    const std::vector<std::uint8_t> was = m.current;
    WritePending(*this, m);
    // Read on from the table as written, at the row that was current.
    OpenReader(m);
    First();
    if (was.empty()) return;
    if (header.IsKeyed()) {
        const auto key = static_cast<std::size_t>(KeySizeOf(header));
        while (!m.eof && std::memcmp(m.current.data(), was.data(), key) < 0) Next();
        return;
    }
    std::uint64_t at = 0, match = 0;
    bool found = false;
    for (; !m.eof; Next(), ++at)
        if (m.current == was) {
            match = at;
            found = true;
        }
    First();
    for (std::uint64_t i = 0; found && i < match; ++i) Next();
}

namespace {

// Writes what the session holds and ends it (releasing the table's lock).
void WritePending(TTable& table, TTable::Impl& m) {
    TWriteSession& s = *m.session;
    const paradox::TTableHeader& header = m.reader->Header();
    if (s.Inserts.empty() && s.Deletes.empty()) {
        // Nothing moved: at most the counter changed, and only the counter is written.
        if (s.AutoIncrement != s.StoredAutoIncrement)
            paradox::StoreAutoIncrement(m.path, s.StoredAutoIncrement, s.AutoIncrement);
    } else {
        std::vector<std::pair<TStoredPlace, std::string>> deletions;
        for (const auto& [place, bytes] : s.Deletes)
            deletions.emplace_back(place, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        TPendingProducer producer(s.Inserts, header, m.path, s.AutoIncrement);
        paradox::TAppendOptions options;
        options.AbortOnKeyViolation = true;
        options.Deletions = &deletions;
        options.AutoIncrement = s.AutoIncrement;
        options.Rewrite.DropUnmaintainableIndexes = table.DropUnmaintainableIndexes;
        options.Rewrite.DroppedIndexes = &table.DroppedIndexes;
        options.Rewrite.TempDir = TablePrivateDirectory(table);
        paradox::AppendRecords(m.path, producer, options);
    }
    ForgetPending(&table);
    m.session.reset();
}

} // namespace

void TTable::ReadAgain() {
    Impl& m = *impl_;
    m.cursor.reset();
    OpenReader(m);
    First();
}

void TTable::First() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    m.problems.clear();
    m.cursor = std::make_unique<paradox::TBlockChainCursor>(m.reader->File(), m.reader->Header(), m.problems);
    m.blockLoaded = false;
    m.indexInBlock = 0;
    m.storedDone = false;
    m.nextInsert = 0;
    m.eof = false;
    m.stale = false;
    m.currentGone = false;
    Next();
}

namespace {

// The next stored row not pending deletion (not consumed), or nullptr at the end.
const std::uint8_t* PeekStored(TTable::Impl& m, TStoredPlace& place) {
    const int recordSize = m.reader->Header().RecordSize;
    for (;;) {
        if (m.storedDone) return nullptr;
        if (!m.blockLoaded || m.indexInBlock >= m.cursor->Block().RecordCount) {
            if (!m.cursor->Next()) {
                m.storedDone = true;
                return nullptr;
            }
            m.blockLoaded = true;
            m.indexInBlock = 0;
            continue;
        }
        place = TStoredPlace{m.cursor->Block().Number, m.indexInBlock};
        if (m.session && m.session->Deletes.count(place)) {
            ++m.indexInBlock;
            continue;
        }
        return m.cursor->Block().Record(m.indexInBlock, recordSize);
    }
}

} // namespace

// Moves to the next row of the merged view.
void TTable::Next() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (m.stale) {
        // Find the place again: the first row whose key lies beyond the anchor.
        const std::string anchor = m.anchorKey;
        First();
        const auto key = anchor.size();
        while (!m.eof && std::memcmp(m.current.data(), anchor.data(), key) <= 0) Next();
        return;
    }
    if (m.eof) return;
    const paradox::TTableHeader& h = m.reader->Header();
    TStoredPlace place;
    const std::uint8_t* stored = PeekStored(m, place);
    const std::vector<TPendingRow>* inserts = m.session ? &m.session->Inserts : nullptr;
    const bool haveInsert = inserts && m.nextInsert < inserts->size();
    if (!stored && !haveInsert) {
        m.eof = true;
        m.current.clear();
        return;
    }
    bool takeInsert = !stored;
    if (stored && haveInsert && h.IsKeyed())
        takeInsert = std::memcmp((*inserts)[m.nextInsert].Bytes.data(), stored,
                                 static_cast<std::size_t>(KeySizeOf(h))) < 0;
    if (takeInsert) {
        m.current = (*inserts)[m.nextInsert].Bytes;
        m.currentIsInsert = true;
        m.currentInsert = m.nextInsert++;
    } else {
        m.current.assign(stored, stored + h.RecordSize);
        m.currentIsInsert = false;
        m.currentPlace = place;
        m.currentPlaceKnown = true;
        ++m.indexInBlock;
    }
}

bool TTable::Eof() const {
    if (!Active()) return true;
    if (impl_->stale && impl_->currentGone) const_cast<TTable*>(this)->Next();
    return impl_->eof;
}

int TTable::OpenRecordCount() const {
    const Impl& m = *impl_;
    std::uint64_t n = m.reader->CountReadableRecords();
    if (m.session) n = n + m.session->Inserts.size() - m.session->Deletes.size();
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
}

namespace {

// Takes the table's write lock for a change and reads the table as it stands under it.
void BeginChange(TTable& table, TTable::Impl& m) {
    if (m.session) return;
    RefuseIfPendingElsewhere(m.path, &table);
    auto session = std::make_unique<TWriteSession>();
    session->Lock = paradox::LockTableForWriting(m.path);
    // Another process may have written the table since it was read here: read it as it
    // stands, and find the browsing position again when next needed.
    if (IdentityOf(m.path) != m.readerIdentity) {
        m.cursor.reset();
        OpenReader(m);
        const paradox::TTableHeader& now = m.reader->Header();
        if (!m.current.empty() && now.IsKeyed()) {
            m.stale = true;
            m.currentGone = false;
            m.anchorKey.assign(reinterpret_cast<const char*>(m.current.data()),
                               static_cast<std::size_t>(KeySizeOf(now)));
        } else {
            m.current.clear();
            m.stale = false;
            m.eof = true;  // an unkeyed table's rows have no place to find again; First() starts over
        }
        m.currentPlaceKnown = false;
    }
    const paradox::TTableHeader& h = m.reader->Header();
    if (h.IsEncrypted())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TablePasswordProtected, {table.TableName}), TEngineErrorKind::Encrypted);
    session->StoredAutoIncrement = h.AutoIncrement;
    session->AutoIncrement = h.AutoIncrement;
    TFileKey key;
    if (FileKeyOf(m.path, key)) PendingTables()[key] = TPendingTable{&table, rtl::ProcessId()};
    m.session = std::move(session);
}

} // namespace

void TTable::Append() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (m.inserting) Post();
    BeginChange(*this, m);
    const auto& h = m.reader->Header();
    m.pending.assign(h.RecordSize, 0);
    m.pendingBlobs.clear();
    // The next autoincrement number: the header holds the last one handed out.
    for (const auto& f : h.Fields)
        if (f.TypeCode == paradox::ftAutoInc)
            paradox::EncodeFlippedInt(static_cast<std::int64_t>(m.session->AutoIncrement) + 1,
                                      m.pending.data() + f.Offset, 4);
    m.inserting = true;
}

void TTable::Post() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (!m.inserting) return;
    BeginChange(*this, m);
    TWriteSession& s = *m.session;
    const paradox::TTableHeader& h = m.reader->Header();
    std::size_t at = s.Inserts.size();
    if (h.IsKeyed()) {
        if (!paradox::PrimaryKeyOrdersByBytes(h))
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableUnmodelledOrderNewRow, {TableName, paradox::SortOrderLabel(h)}),
                                 TEngineErrorKind::InvalidRequest);
        const auto keySize = static_cast<std::size_t>(KeySizeOf(h));
        const std::string key(reinterpret_cast<const char*>(m.pending.data()), keySize);
        const auto pos = std::lower_bound(s.Inserts.begin(), s.Inserts.end(), key,
                                          [&](const TPendingRow& r, const std::string& k) {
                                              return std::memcmp(r.Bytes.data(), k.data(), keySize) < 0;
                                          });
        if (pos != s.Inserts.end() && std::memcmp(pos->Bytes.data(), key.data(), keySize) == 0)
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableKeyViolation, {rtl::ExtractFileName(m.path)}),
                                 TEngineErrorKind::KeyViolation);
        for (const TStoredPlace& place : paradox::FindStoredKey(*m.reader, key))
            if (!s.Deletes.count(place))
                throw EDBEngineError(rtl::Format(rtl::TMsg::TableKeyViolation, {rtl::ExtractFileName(m.path)}),
                                     TEngineErrorKind::KeyViolation);
        at = static_cast<std::size_t>(pos - s.Inserts.begin());
    }
    TPendingRow row{m.pending, m.pendingBlobs};
    for (const auto& [field, bytes] : row.Blobs) s.Bytes += bytes.size();
    s.Bytes += row.Bytes.size();
    s.AutoIncrement = std::max(s.AutoIncrement, paradox::LargestAutoIncrement(h, row.Bytes.data()));
    s.Inserts.insert(s.Inserts.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    m.inserting = false;
    m.pending.clear();
    m.pendingBlobs.clear();

    // The posted row becomes the current one.
    m.current = s.Inserts[at].Bytes;
    m.currentIsInsert = true;
    m.currentInsert = at;
    m.eof = false;
    if (h.IsKeyed()) {
        m.stale = true;
        m.currentGone = false;
        m.anchorKey.assign(reinterpret_cast<const char*>(m.current.data()), static_cast<std::size_t>(KeySizeOf(h)));
    } else {
        m.storedDone = true;  // it is the last row
        m.nextInsert = at + 1;
    }
    if (s.Bytes > PendingMemoryBound) Save();
}

void TTable::Cancel() {
    impl_->inserting = false;
    impl_->pending.clear();
    impl_->pendingBlobs.clear();
}

void TTable::Delete() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (m.inserting) {
        Cancel();
        return;
    }
    if (m.stale && m.currentGone) Next();
    if (m.eof || m.current.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineNoRowToDelete, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    // The row as it was read: when another process wrote the table meanwhile, BeginChange
    // reads it anew (an unkeyed table forgets its position), and these bytes find the row.
    const std::vector<std::uint8_t> row = m.current;
    BeginChange(*this, m);
    TWriteSession& s = *m.session;
    const paradox::TTableHeader& h = m.reader->Header();
    if (m.currentIsInsert) {
        const TPendingRow& row = s.Inserts[m.currentInsert];
        for (const auto& [field, bytes] : row.Blobs) s.Bytes -= std::min(s.Bytes, bytes.size());
        s.Bytes -= std::min(s.Bytes, row.Bytes.size());
        s.Inserts.erase(s.Inserts.begin() + static_cast<std::ptrdiff_t>(m.currentInsert));
        if (m.nextInsert > m.currentInsert) --m.nextInsert;
    } else {
        if (!m.currentPlaceKnown) {
            // The rows moved since this one was read (the table was written meanwhile): find
            // it again by its bytes.
            bool found = false;
            if (h.IsKeyed()) {
                const std::string key(reinterpret_cast<const char*>(row.data()), static_cast<std::size_t>(KeySizeOf(h)));
                for (const TStoredPlace& place : paradox::FindStoredKey(*m.reader, key))
                    if (!s.Deletes.count(place)) {
                        m.currentPlace = place;
                        found = true;
                    }
            } else {
                m.reader->ForEachRecord(
                    [&](const paradox::TRecordRef& r) {
                        const TStoredPlace place{r.Block, r.IndexInBlock};
                        if (!s.Deletes.count(place) && std::memcmp(r.Bytes, row.data(), row.size()) == 0) {
                            m.currentPlace = place;
                            found = true;
                        }
                        return true;
                    },
                    m.problems);
            }
            if (!found)
                throw EDBEngineError(rtl::Format(rtl::TMsg::TableRowGone, {TableName}),
                                     TEngineErrorKind::InvalidRequest);
        }
        s.Deletes[m.currentPlace] = row;
        s.Bytes += row.size();
    }
    // The row after it becomes current.
    if (m.stale) {
        m.currentGone = true;
        m.current.clear();
        return;
    }
    Next();
}

TValue TTable::FieldByName(const std::string& name) const {
    if (!Active()) NotOpen(*this);
    if (impl_->stale && impl_->currentGone) const_cast<TTable*>(this)->Next();
    const Impl& m = *impl_;
    const auto& h = m.reader->Header();
    const int index = FieldIndex(h, name);
    const auto& field = h.Fields[static_cast<std::size_t>(index)];
    auto blobValue = [&](const std::string& bytes) {
        paradox::TFieldValue v;
        v.IsNull = bytes.empty();
        v.Bytes = field.TypeCode == paradox::ftMemo ? paradox::ToUtf8(bytes, h.EffectiveCodePage()) : bytes;
        return ToValue(v, field.TypeCode);
    };
    if (m.inserting) {
        if (auto it = m.pendingBlobs.find(index); it != m.pendingBlobs.end()) return blobValue(it->second);
    } else if (m.currentIsInsert && m.session && m.currentInsert < m.session->Inserts.size() &&
               paradox::IsBlobField(field.TypeCode)) {
        const auto& blobs = m.session->Inserts[m.currentInsert].Blobs;
        if (auto it = blobs.find(index); it != blobs.end()) return blobValue(it->second);
    }
    const std::vector<std::uint8_t>& row = m.inserting ? m.pending : m.current;
    if (row.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineNoCurrentRow, {TableName}), TEngineErrorKind::InvalidRequest);
    return ToValue(m.reader->Decoder().DecodeField(row.data(), index, nullptr), field.TypeCode);
}

void TTable::SetFieldByName(const std::string& name, const TValue& value) {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (!m.inserting)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineNoPendingRow, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    const auto& h = m.reader->Header();
    const int index = FieldIndex(h, name);
    const auto& f = h.Fields[static_cast<std::size_t>(index)];
    std::string blob;
    EncodeValue(f, value, h.EffectiveCodePage(), m.pending.data(), blob);
    if (paradox::IsBlobField(f.TypeCode)) m.pendingBlobs[index] = std::move(blob);
}

} // namespace engine
