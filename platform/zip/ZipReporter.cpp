#include "platform/zip/ZipReporter.h"

namespace azip {

int ZipReporter::Send(std::uint8_t type, std::initializer_list<std::string_view> fields) const {
    if (!callback_) return 1;
    std::string text;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) text += '|';
        first = false;
        for (char c : field) text += (c == '|' || c == '\0') ? '?' : c;
    }
    return callback_(0, type, text.c_str());
}

void ZipReporter::FileDone(std::string_view name, std::string_view path, FileStatus status,
                           std::string_view reason) {
    if (status == FileStatus::Ok)
        ++succeeded_;
    else
        ++failed_;
    Send(MessageType::FileStatus,
         {name, path, std::to_string(static_cast<int>(status)), reason});
}

int ZipReporter::Finish(std::string_view archive, RunResult result) const {
    Send(MessageType::RunFinished, {archive, std::to_string(succeeded_), std::to_string(failed_),
                                    result == RunResult::Aborted ? "1" : "0"});
    return static_cast<int>(result);
}

} // namespace azip
