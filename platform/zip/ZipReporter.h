// Formats and delivers the callback messages of one packing or unpacking run.
#pragma once

#include "platform/zip/ZipMessages.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace azip {

class ZipReporter {
public:
    explicit ZipReporter(ZipCallback callback) : callback_(callback) {}

    // Sends `fields` joined by "|"; returns the callback's answer (1 without a callback).
    int Send(std::uint8_t type, std::initializer_list<std::string_view> fields) const;

    // A FileStatus message; counts successes and failures for the RunFinished message.
    void FileDone(std::string_view name, std::string_view path, FileStatus status,
                  std::string_view reason = {});

    // Sends RunFinished for `archive` and returns `result` as the run's return value.
    int Finish(std::string_view archive, RunResult result) const;
    // FilesFailed when any file failed, else Ok.
    RunResult Outcome() const { return failed_ ? RunResult::FilesFailed : RunResult::Ok; }

    int Succeeded() const { return succeeded_; }
    int Failed() const { return failed_; }

private:
    ZipCallback callback_;
    int succeeded_ = 0;
    int failed_ = 0;
};

} // namespace azip
