// Batch move in append mode: the source's rows, read in chain order (key order for keyed
// tables), are appended to the destination field by field. Destination autoincrement fields
// that no mapping fills are numbered as the rows arrive.
#include "platform/engine/FieldValueCodec.h"
#include "platform/engine/TableImpl.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/MemoWriter.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <cstring>

namespace engine {

namespace {

using namespace paradox;

enum class TCopyKind { Raw, Blob, Convert };

struct TFieldCopy {
    int Source = 0;
    int Destination = 0;
    TCopyKind Kind = TCopyKind::Convert;
};

int FindField(const TTableHeader& h, const std::string& name, const std::string& table) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i)
        if (rtl::SameTextAscii(h.Fields[i].Name, name)) return static_cast<int>(i);
    throw EDBEngineError(rtl::Format(rtl::TMsg::FieldNotFoundInTable, {name, table}), TEngineErrorKind::NotFound);
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

class TMoveProducer : public TRecordProducer {
public:
    TMoveProducer(const TParadoxTable& source, const TTableHeader& dest, const std::string& destPath,
                  std::vector<TFieldCopy> copies, bool abortOnProblem)
        : source_(source), dest_(dest), destPath_(destPath), copies_(std::move(copies)), abortOnProblem_(abortOnProblem),
          decoder_(source.Decoder()), cursor_(source.File(), source.Header(), problems_),
          record_(dest.RecordSize, 0), autoInc_(dest.AutoIncrement) {
        for (std::size_t i = 0; i < dest.Fields.size(); ++i) {
            if (dest.Fields[i].TypeCode != ftAutoInc) continue;
            bool mapped = false;
            for (const auto& c : copies_) mapped = mapped || c.Destination == static_cast<int>(i);
            if (!mapped) numbered_.push_back(static_cast<int>(i));
        }
    }

    const std::uint8_t* Next() override {
        if (done_) return nullptr;
        while (index_ >= cursor_.Block().RecordCount || !started_) {
            if (!cursor_.Next()) {
                if (abortOnProblem_ && !problems_.empty())
                    throw EDBEngineError(rtl::Format(rtl::TMsg::TableNotReadWhole, {rtl::ExtractFileName(source_.Path()), problems_.front().Describe()}),
                                         TEngineErrorKind::Corrupt);
                done_ = true;
                if (memo_) memo_->Finish();
                return nullptr;
            }
            started_ = true;
            index_ = 0;
        }
        const std::uint8_t* src = cursor_.Block().Record(index_++, source_.Header().RecordSize);
        Build(src);
        return record_.data();
    }

    std::uint32_t AutoIncrement() const override { return autoInc_; }

private:
    void StoreBlob(const TFieldInfo& f, const std::string& bytes) {
        if (bytes.empty()) return;
        if (!memo_) memo_ = TMemoWriter::OpenForAppend(CompanionPath(destPath_, ".mb"));
        memo_->Store(bytes, record_.data() + f.Offset, f.Size);
    }

    void Build(const std::uint8_t* src) {
        std::fill(record_.begin(), record_.end(), 0);
        const TTableHeader& sh = source_.Header();
        for (const auto& c : copies_) {
            const TFieldInfo& sf = sh.Fields[static_cast<std::size_t>(c.Source)];
            const TFieldInfo& df = dest_.Fields[static_cast<std::size_t>(c.Destination)];
            switch (c.Kind) {
            case TCopyKind::Raw:
                std::memcpy(record_.data() + df.Offset, src + sf.Offset, static_cast<std::size_t>(df.Size));
                break;
            case TCopyKind::Blob: {
                TBlobResult blob = ReadBlobField(src + sf.Offset, sf.Size, source_.Memo());
                if (!blob.Ok && abortOnProblem_)
                    throw EDBEngineError(rtl::Format(rtl::TMsg::EngineFieldUnreadable,
                                                     {sf.Name, rtl::ExtractFileName(source_.Path()), blob.Error}),
                                         TEngineErrorKind::Corrupt);
                // Otherwise an unreadable blob stays blank: its bytes are gone, the row is kept.
                if (blob.Ok) {
                    if (sf.TypeCode == ftMemo && df.TypeCode == ftMemo &&
                        sh.EffectiveCodePage() != dest_.EffectiveCodePage())
                        blob.Bytes = FromUtf8(ToUtf8(blob.Bytes, sh.EffectiveCodePage()), dest_.EffectiveCodePage());
                    StoreBlob(df, blob.Bytes);
                }
                break;
            }
            case TCopyKind::Convert: {
                const TValue v = ToValue(decoder_.DecodeField(src, c.Source, nullptr), sf.TypeCode);
                std::string blob;
                EncodeValue(df, v, dest_.EffectiveCodePage(), record_.data(), blob);
                if (IsBlobField(df.TypeCode)) StoreBlob(df, blob);
                break;
            }
            }
            if (df.TypeCode == ftAutoInc)
                if (auto n = DecodeFlippedInt(record_.data() + df.Offset, 4); n && *n > autoInc_)
                    autoInc_ = static_cast<std::uint32_t>(*n);
        }
        if (!numbered_.empty()) {
            ++autoInc_;
            for (const int i : numbered_)
                EncodeFlippedInt(autoInc_, record_.data() + dest_.Fields[static_cast<std::size_t>(i)].Offset, 4);
        }
    }

    const TParadoxTable& source_;
    const TTableHeader& dest_;
    std::string destPath_;
    std::vector<TFieldCopy> copies_;
    bool abortOnProblem_;
    std::vector<int> numbered_;
    TRecordDecoder decoder_;
    TProblemList problems_;  // a damaged source yields what its chain still reaches
    TBlockChainCursor cursor_;
    int index_ = 0;
    bool started_ = false;
    bool done_ = false;
    std::vector<std::uint8_t> record_;
    std::uint32_t autoInc_;
    std::unique_ptr<TMemoWriter> memo_;
};

TCopyKind KindOf(const TTableHeader& sh, const TFieldInfo& sf, const TTableHeader& dh, const TFieldInfo& df) {
    if (IsBlobField(sf.TypeCode) && IsBlobField(df.TypeCode)) return TCopyKind::Blob;
    if (sf.TypeCode != df.TypeCode || sf.Size != df.Size || sf.SizeByte != df.SizeByte) return TCopyKind::Convert;
    if (sf.TypeCode == ftAlpha && sh.EffectiveCodePage() != dh.EffectiveCodePage()) return TCopyKind::Convert;
    return TCopyKind::Raw;
}

// True when the source's stored order is an order of the destination's key: both keyed by
// the same fields, copied unchanged, under the same sort order.
bool KeepsSourceOrder(const TTableHeader& sh, const TTableHeader& dh, const std::vector<TFieldCopy>& copies) {
    if (!sh.IsKeyed() || !dh.IsKeyed() || sh.KeyFieldCount != dh.KeyFieldCount) return false;
    if (sh.SortOrderCode != dh.SortOrderCode || !rtl::SameTextAscii(sh.SortOrderName, dh.SortOrderName) ||
        sh.EffectiveCodePage() != dh.EffectiveCodePage())
        return false;
    for (int k = 0; k < dh.KeyFieldCount; ++k) {
        bool raw = false;
        for (const auto& c : copies)
            raw = raw || (c.Destination == k && c.Source == k && c.Kind == TCopyKind::Raw);
        if (!raw) return false;
    }
    return true;
}

} // namespace

void TBatchMove::Execute() {
    MovedCount = 0;
    KeyViolCount = 0;
    if (!Source || !Destination)
        throw EDBEngineError(rtl::Text(rtl::TMsg::EngineBatchMoveNeedsTables), TEngineErrorKind::InvalidRequest);
    if (Destination->impl_->inserting)
        throw EDBEngineError(rtl::Text(rtl::TMsg::EngineDestinationPendingRow), TEngineErrorKind::InvalidRequest);
    DroppedIndexes.clear();
    if (!Source->Exists())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExist, {Source->TableName}), TEngineErrorKind::NotFound);
    if (!Destination->Exists())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExist, {Destination->TableName}), TEngineErrorKind::NotFound);
    const std::string sourcePath = Source->DataFilePath();
    const std::string destPath = Destination->DataFilePath();
    if (sourcePath == destPath)
        throw EDBEngineError(rtl::Text(rtl::TMsg::EngineMoveIntoItself), TEngineErrorKind::InvalidRequest);
    RefuseIfPendingElsewhere(destPath, nullptr);
    const auto source = TParadoxTable::Open(sourcePath);
    if (source->Header().IsEncrypted())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TablePasswordProtected, {Source->TableName}), TEngineErrorKind::Encrypted);
    const TTableHeader& sh = source->Header();
    // A header that disagrees with its record layout cannot say which reading of the rows is
    // the right one: a move that must take them whole does not guess.
    if (AbortOnProblem && !sh.LayoutProblem.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableNotReadWhole, {rtl::ExtractFileName(sourcePath), sh.LayoutProblem}),
                             TEngineErrorKind::Corrupt);
    // A new, empty destination takes the source's code page (converting text between code
    // pages would turn every character the destination's lacks into "?") and its larger
    // block size (so every row fits).
    AdoptSourceSettings(destPath, sh);
    const TTableHeader dest = TParadoxTable::Open(destPath)->Header();

    std::vector<TFieldCopy> copies;
    auto add = [&](int d, int s) {
        copies.push_back(TFieldCopy{s, d, KindOf(sh, sh.Fields[static_cast<std::size_t>(s)], dest,
                                                 dest.Fields[static_cast<std::size_t>(d)])});
    };
    if (Mappings.Count() == 0) {
        for (std::size_t d = 0; d < dest.Fields.size(); ++d)
            for (std::size_t s = 0; s < sh.Fields.size(); ++s)
                if (rtl::SameTextAscii(dest.Fields[d].Name, sh.Fields[s].Name)) {
                    add(static_cast<int>(d), static_cast<int>(s));
                    break;
                }
    } else {
        for (std::size_t i = 0; i < Mappings.Count(); ++i) {
            const std::string line = Mappings[i];
            const auto eq = line.find('=');
            const std::string destName = Trim(eq == std::string::npos ? line : line.substr(0, eq));
            const std::string srcName = Trim(eq == std::string::npos ? line : line.substr(eq + 1));
            if (destName.empty()) continue;
            add(FindField(dest, destName, Destination->TableName), FindField(sh, srcName, Source->TableName));
        }
    }

    TAppendOptions options;
    options.AbortOnKeyViolation = AbortOnKeyViol;
    options.ProducerInStoredOrder = KeepsSourceOrder(sh, dest, copies);
    options.Rewrite.DropUnmaintainableIndexes = DropUnmaintainableIndexes;
    options.Rewrite.DroppedIndexes = &DroppedIndexes;
    options.Rewrite.TempDir = TablePrivateDirectory(*Destination);
    TMoveProducer producer(*source, dest, destPath, std::move(copies), AbortOnProblem);
    const TAppendResult result = AppendRecords(destPath, producer, options);
    MovedCount = static_cast<int>(result.Appended);
    KeyViolCount = static_cast<int>(result.KeyViolations);
    if (Destination->Active()) Destination->ReadAgain();
}

} // namespace engine
