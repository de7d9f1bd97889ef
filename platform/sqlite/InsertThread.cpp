#include "platform/sqlite/InsertThread.h"

#include "platform/sqlite/SqliteDatabase.h"

namespace sqlite {

namespace {
// Enough rows per batch that handing one over costs nothing beside its inserts; few batches,
// and a batch of large values ends early, so that the rows in flight stay a few megabytes.
constexpr std::size_t RowsPerBatch = 512;
constexpr std::size_t BytesPerBatch = 1u << 20;
constexpr std::size_t Batches = 4;
// A value's storage is kept for the next row's unless it grew beyond this (a large blob).
constexpr std::size_t KeptValueCapacity = 64u << 10;

std::size_t BytesOf(const std::vector<TBoundValue>& values) {
    std::size_t n = 0;
    for (const auto& v : values) n += v.Bytes.size();
    return n;
}
} // namespace

TInsertThread::TInsertThread() : batches_(Batches) {
    for (std::size_t i = 0; i < Batches; ++i) {
        batches_[i].Rows.resize(RowsPerBatch);
        free_.push_back(i);
    }
    thread_ = std::thread([this] { Work(); });
}

TInsertThread::~TInsertThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

// A failure stays: the database is left alone from then on, and every later call raises it.
void TInsertThread::RaiseFailure() { std::rethrow_exception(failure_); }

std::vector<TBoundValue>& TInsertThread::Row(TStatement& statement, std::size_t parameters) {
    // A full batch goes only now: its last row was being filled until this call.
    if (filling_ != SIZE_MAX && batches_[filling_].Used > 0) {
        TBatch& b = batches_[filling_];
        b.Bytes += BytesOf(b.Rows[b.Used - 1].Values);
        if (b.Used == RowsPerBatch || b.Bytes >= BytesPerBatch) SendFilling();
    }
    if (filling_ == SIZE_MAX) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !free_.empty() || failure_; });
        if (failure_) RaiseFailure();
        filling_ = free_.back();
        free_.pop_back();
        batches_[filling_].Used = 0;
        batches_[filling_].Bytes = 0;
    }
    TQueuedRow& row = batches_[filling_].Rows[batches_[filling_].Used++];
    row.Statement = &statement;
    row.Values.resize(parameters);
    return row.Values;
}

void TInsertThread::SendFilling() {
    {
        std::lock_guard lock(mutex_);
        full_.push_back(filling_);
        filling_ = SIZE_MAX;
    }
    changed_.notify_all();
}

bool TInsertThread::Drain() {
    if (filling_ != SIZE_MAX && batches_[filling_].Used > 0) SendFilling();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (full_.empty() && !working_) || failure_; });
    if (failure_) RaiseFailure();
    return refused_.exchange(false);
}

void TInsertThread::Work() {
    for (;;) {
        std::size_t taken;
        bool skip;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !full_.empty() || stopping_; });
            if (stopping_) return;
            taken = full_.front();
            full_.erase(full_.begin());
            working_ = true;
            // After a refusal the caller abandons what it was loading; after a failure, all of it.
            skip = refused_.load() || failure_;
        }
        std::exception_ptr failed;
        if (!skip) {
            try {
                Insert(batches_[taken]);
            } catch (...) {
                failed = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            if (failed && !failure_) failure_ = failed;
            working_ = false;
            free_.push_back(taken);
        }
        changed_.notify_all();
    }
}

void TInsertThread::Insert(TBatch& batch) {
    for (std::size_t r = 0; r < batch.Used; ++r) {
        TQueuedRow& row = batch.Rows[r];
        TStatement& s = *row.Statement;
        for (std::size_t i = 0; i < row.Values.size(); ++i) {
            const TBoundValue& v = row.Values[i];
            const int at = static_cast<int>(i) + 1;
            switch (v.Kind) {
            case EBoundKind::Null: s.BindNull(at); break;
            case EBoundKind::Integer: s.BindInteger(at, v.Integer); break;
            case EBoundKind::Real: s.BindReal(at, v.Real); break;
            // The values stay in their batch, unchanged, until the insert returns.
            case EBoundKind::Text: s.BindTextInPlace(at, v.Bytes); break;
            case EBoundKind::Blob: s.BindBlobInPlace(at, v.Bytes); break;
            }
        }
        try {
            s.Execute();
        } catch (const ESqliteError& e) {
            if (!e.Constraint()) throw;
            refused_.store(true);
            return;
        }
        for (TBoundValue& v : row.Values)
            if (v.Bytes.capacity() > KeptValueCapacity) std::string().swap(v.Bytes);
    }
}

} // namespace sqlite
