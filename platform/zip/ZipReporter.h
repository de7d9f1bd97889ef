// Formats and delivers the callback messages of one packing or unpacking run.
#pragma once

#include "platform/zip/ZipMessages.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace azip {

class TZipReporter {
public:
    explicit TZipReporter(TZipMessageSink sink) : sink_(std::move(sink)) {}

    // Sends `fields` joined by "|"; returns the receiver's answer (1 without one).
    int Send(std::uint8_t type, std::initializer_list<std::string_view> fields) const;

    // A FileStatus message; counts successes and failures for the RunFinished message.
    void FileDone(std::string_view name, std::string_view path, FileStatus status,
                  std::string_view reason = {});

    // Sends RunFinished for `archive` and returns `result` as the run's return value.
    int Finish(std::string_view archive, TRunResult result) const;
    // FilesFailed when any file failed, else Ok.
    TRunResult Outcome() const { return failed_ ? TRunResult::FilesFailed : TRunResult::Ok; }
    // The run's messages so far, ended with `result`.
    TRunReport Report(TRunResult result) const { return {result, succeeded_, failed_, lastFailure_}; }

    // Byte progress of the run (FileProgress messages): the bytes of every file to handle,
    // the start of one file of `size` bytes, each `bytes` of it handled (a message whenever
    // another MiB is done), and its end (a file cut short counts whole, so the next one starts
    // where it would have).
    void SetTotalBytes(std::uint64_t total) { totalBytes_ = total; }
    void FileStarted(std::string_view name, std::string_view path, std::uint64_t size);
    void BytesDone(std::uint64_t bytes);
    void FileEnded();

    int Succeeded() const { return succeeded_; }
    int Failed() const { return failed_; }

private:
    TZipMessageSink sink_;
    void SendProgress();

    int succeeded_ = 0;
    int failed_ = 0;
    std::optional<TFileFailure> lastFailure_;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t doneBytes_ = 0;
    std::uint64_t sentBytes_ = 0;  // doneBytes_ at the last FileProgress message
    std::uint64_t fileStart_ = 0;
    std::uint64_t fileSize_ = 0;
    std::string fileName_;
    std::string filePath_;
};

} // namespace azip
