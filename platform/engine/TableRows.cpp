// Row access on an open table: browsing the chain, appending and posting a row, deleting
// the current row. Every change is written through to the files before the call returns.
#include "platform/engine/FieldValueCodec.h"
#include "platform/engine/TableImpl.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/MemoWriter.h"
#include "platform/engine/paradox/TableRewrite.h"

#include <cstring>

namespace engine {

namespace {

[[noreturn]] void NotOpen(const TTable& t) {
    throw EDBEngineError("The table \"" + t.TableName + "\" is not open.", EngineErrorKind::InvalidRequest);
}

int FieldIndex(const paradox::TTableHeader& h, const std::string& name) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i)
        if (rtl::SameTextAscii(h.Fields[i].Name, name)) return static_cast<int>(i);
    throw EDBEngineError("Field \"" + name + "\" not found.", EngineErrorKind::NotFound);
}

} // namespace

void TTable::Open() {
    if (Active()) return;
    if (TableName.empty()) throw EDBEngineError("No table name is set.", EngineErrorKind::InvalidRequest);
    if (!Exists()) throw EDBEngineError("Table \"" + TableName + "\" does not exist", EngineErrorKind::NotFound);
    impl_->path = DataFilePath();
    impl_->reader = paradox::TParadoxTable::Open(impl_->path);
    impl_->active = true;
    First();
}

void TTable::Close() {
    if (!impl_->active) return;
    Cancel();
    impl_->cursor.reset();
    impl_->reader.reset();
    impl_->active = false;
    impl_->eof = true;
}

void TTable::First() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    m.problems.clear();
    m.cursor = std::make_unique<paradox::TBlockChainCursor>(m.reader->File(), m.reader->Header(), m.problems);
    m.indexInBlock = -1;
    m.ordinal = static_cast<std::uint64_t>(-1);
    m.eof = false;
    // An empty first block (possible in damaged files) must not look like the end.
    m.current.clear();
    bool haveBlock = false;
    while ((haveBlock = m.cursor->Next()) && m.cursor->Block().RecordCount == 0) {
    }
    if (!haveBlock) {
        m.eof = true;
        return;
    }
    m.indexInBlock = 0;
    m.ordinal = 0;
    const auto& b = m.cursor->Block();
    const auto size = m.reader->Header().RecordSize;
    m.current.assign(b.Record(0, size), b.Record(0, size) + size);
}

void TTable::Next() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (m.eof) return;
    const auto size = m.reader->Header().RecordSize;
    ++m.indexInBlock;
    while (m.indexInBlock >= m.cursor->Block().RecordCount) {
        if (!m.cursor->Next()) {
            m.eof = true;
            m.current.clear();
            return;
        }
        m.indexInBlock = 0;
    }
    ++m.ordinal;
    const auto& b = m.cursor->Block();
    m.current.assign(b.Record(m.indexInBlock, size), b.Record(m.indexInBlock, size) + size);
}

bool TTable::Eof() const { return !Active() || impl_->eof; }

void TTable::Reposition(std::uint64_t ordinal) {
    Impl& m = *impl_;
    m.cursor.reset();
    m.reader = paradox::TParadoxTable::Open(m.path);
    First();
    std::uint64_t last = 0;
    while (!m.eof && m.ordinal < ordinal) {
        last = m.ordinal;
        Next();
    }
    if (m.eof && ordinal > 0) {
        // Past the end: the last row becomes current.
        First();
        while (!m.eof && m.ordinal < last) Next();
    }
}

void TTable::Append() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (m.inserting) Post();
    const auto& h = m.reader->Header();
    if (h.IsEncrypted())
        throw EDBEngineError("Table \"" + TableName + "\" is password-protected", EngineErrorKind::Encrypted);
    m.pending.assign(h.RecordSize, 0);
    m.pendingBlobs.clear();
    // The next autoincrement number: the header holds the last one handed out.
    for (const auto& f : h.Fields)
        if (f.TypeCode == paradox::ftAutoInc)
            paradox::EncodeFlippedInt(static_cast<std::int64_t>(h.AutoIncrement) + 1, m.pending.data() + f.Offset, 4);
    m.inserting = true;
}

void TTable::Post() {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (!m.inserting) return;
    const auto& h = m.reader->Header();
    const std::string path = m.path;
    const auto& blobs = m.pendingBlobs;
    const std::uint64_t ordinal = paradox::InsertRecord(path, m.pending.data(), [&](std::uint8_t* record) {
        bool any = false;
        for (const auto& [field, bytes] : blobs) any = any || !bytes.empty();
        if (!any) return;
        auto memo = paradox::TMemoWriter::OpenForAppend(paradox::CompanionPath(path, ".mb"));
        for (const auto& [field, bytes] : blobs) {
            const auto& f = h.Fields[static_cast<std::size_t>(field)];
            memo->Store(bytes, record + f.Offset, f.Size);
        }
        memo->Finish();
    });
    m.inserting = false;
    m.pending.clear();
    m.pendingBlobs.clear();
    Reposition(ordinal);
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
    if (m.eof || m.current.empty())
        throw EDBEngineError("The table \"" + TableName + "\" has no current row to delete.",
                             EngineErrorKind::InvalidRequest);
    const std::uint64_t ordinal = m.ordinal;
    paradox::DeleteRecord(m.path, ordinal,
                          std::string(reinterpret_cast<const char*>(m.current.data()), m.current.size()));
    Reposition(ordinal);
}

TValue TTable::FieldByName(const std::string& name) const {
    if (!Active()) NotOpen(*this);
    const Impl& m = *impl_;
    const auto& h = m.reader->Header();
    const int index = FieldIndex(h, name);
    if (m.inserting) {
        if (auto it = m.pendingBlobs.find(index); it != m.pendingBlobs.end()) {
            paradox::TFieldValue v;
            v.IsNull = it->second.empty();
            v.Bytes = h.Fields[static_cast<std::size_t>(index)].TypeCode == paradox::ftMemo
                          ? paradox::ToUtf8(it->second, h.EffectiveCodePage())
                          : it->second;
            return ToValue(v, h.Fields[static_cast<std::size_t>(index)].TypeCode);
        }
    }
    const std::vector<std::uint8_t>& row = m.inserting ? m.pending : m.current;
    if (row.empty())
        throw EDBEngineError("The table \"" + TableName + "\" has no current row.", EngineErrorKind::InvalidRequest);
    return ToValue(m.reader->Decoder().DecodeField(row.data(), index, nullptr),
                   h.Fields[static_cast<std::size_t>(index)].TypeCode);
}

void TTable::SetFieldByName(const std::string& name, const TValue& value) {
    if (!Active()) NotOpen(*this);
    Impl& m = *impl_;
    if (!m.inserting)
        throw EDBEngineError("The table \"" + TableName + "\" has no pending row; call Append first.",
                             EngineErrorKind::InvalidRequest);
    const auto& h = m.reader->Header();
    const int index = FieldIndex(h, name);
    const auto& f = h.Fields[static_cast<std::size_t>(index)];
    std::string blob;
    EncodeValue(f, value, h.EffectiveCodePage(), m.pending.data(), blob);
    if (paradox::IsBlobField(f.TypeCode)) m.pendingBlobs[index] = std::move(blob);
}

} // namespace engine
