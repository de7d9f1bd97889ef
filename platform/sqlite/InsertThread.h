// Inserts run on a thread of their own, so that a bulk load decodes its next rows while SQLite
// stores the last ones. The caller fills rows of parameters in order; they travel in batches
// through a bounded queue (memory stays flat whatever the table's size: a batch ends at a
// number of rows or of bytes, whichever comes first) and are executed in
// the order they were filled, each on the statement it names. A row whose insert breaks a
// constraint (a repeated key) is refused: the rows after it are skipped until Drain, which
// says so. Any other failure is raised on the caller's thread by the next call.
//
// The statements and their database belong to this thread's caller only while nothing is
// queued: the caller drains before it uses them itself (begins, commits, prepares).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sqlite {

class TStatement;

enum class EBoundKind : std::uint8_t { Null, Integer, Real, Text, Blob };

// One parameter of a queued row, owned by the queue until the row is inserted.
struct TBoundValue {
    EBoundKind Kind = EBoundKind::Null;
    std::int64_t Integer = 0;
    double Real = 0;
    std::string Bytes;  // text (UTF-8) or blob

    void SetNull() { Kind = EBoundKind::Null; }
    void SetInteger(std::int64_t v) {
        Kind = EBoundKind::Integer;
        Integer = v;
    }
    void SetReal(double v) {
        Kind = EBoundKind::Real;
        Real = v;
    }
    // Text and blobs are copied into storage the value keeps from row to row.
    void SetText(std::string_view utf8) {
        Kind = EBoundKind::Text;
        Bytes.assign(utf8);
    }
    void SetBlob(std::string_view bytes) {
        Kind = EBoundKind::Blob;
        Bytes.assign(bytes);
    }
};

class TInsertThread {
public:
    TInsertThread();
    ~TInsertThread();  // drops what is queued, waits for the row being inserted
    TInsertThread(const TInsertThread&) = delete;
    TInsertThread& operator=(const TInsertThread&) = delete;

    // The next row to fill: `parameters` values for `statement` (counted from 1 as in SQL).
    // Raises what a queued insert raised.
    std::vector<TBoundValue>& Row(TStatement& statement, std::size_t parameters);
    // Whether a queued row was refused (seen without waiting; Drain tells for sure).
    bool Refused() const { return refused_.load(std::memory_order_relaxed); }
    // Waits until every row filled is inserted or skipped. Returns whether one was refused,
    // and forgets it; raises what an insert raised.
    bool Drain();

private:
    struct TQueuedRow {
        TStatement* Statement = nullptr;
        std::vector<TBoundValue> Values;
    };
    struct TBatch {
        std::vector<TQueuedRow> Rows;
        std::size_t Used = 0;
        std::size_t Bytes = 0;  // of the rows' texts and blobs, but the one being filled
    };
    void SendFilling();
    void RaiseFailure();
    void Work();
    void Insert(TBatch& batch);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TBatch> batches_;
    std::vector<std::size_t> free_, full_;  // batch numbers, full ones in the order filled
    std::size_t filling_ = SIZE_MAX;
    bool working_ = false;  // the thread holds a batch
    bool stopping_ = false;
    std::atomic<bool> refused_{false};
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace sqlite
