#include "platform/zip/ZipReporter.h"

#include <algorithm>

namespace azip {

int TZipReporter::Send(std::uint8_t type, std::initializer_list<std::string_view> fields) const {
    if (!sink_) return 1;
    std::string text;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) text += '|';
        first = false;
        for (char c : field) text += (c == '|' || c == '\0') ? '?' : c;
    }
    return sink_(type, text.c_str());
}

void TZipReporter::FileDone(std::string_view name, std::string_view path, FileStatus status,
                           std::string_view reason) {
    if (status == FileStatus::Ok) {
        ++succeeded_;
    } else {
        ++failed_;
        lastFailure_ = TFileFailure{std::string(name), std::string(path), status, std::string(reason)};
    }
    Send(MessageType::FileStatus,
         {name, path, std::to_string(static_cast<int>(status)), reason});
}

namespace {
constexpr std::uint64_t ProgressInterval = 1024 * 1024;
} // namespace

void TZipReporter::FileStarted(std::string_view name, std::string_view path, std::uint64_t size) {
    fileName_ = name;
    filePath_ = path;
    fileStart_ = doneBytes_;
    fileSize_ = size;
    SendProgress();
}

void TZipReporter::BytesDone(std::uint64_t bytes) {
    doneBytes_ = std::min(totalBytes_, doneBytes_ + bytes);
    if (doneBytes_ - sentBytes_ >= ProgressInterval) SendProgress();
}

void TZipReporter::FileEnded() {
    doneBytes_ = std::min(totalBytes_, std::max(doneBytes_, fileStart_ + fileSize_));
}

void TZipReporter::SendProgress() {
    sentBytes_ = doneBytes_;
    Send(MessageType::FileProgress,
         {fileName_, filePath_, std::to_string(doneBytes_), std::to_string(totalBytes_)});
}

int TZipReporter::Finish(std::string_view archive, TRunResult result) const {
    Send(MessageType::RunFinished, {archive, std::to_string(succeeded_), std::to_string(failed_),
                                    result == TRunResult::Aborted ? "1" : "0"});
    return static_cast<int>(result);
}

} // namespace azip
