#include "platform/zip/ZipRunHandle.h"

#include "platform/zip/ZipReporter.h"

namespace azip {

void TZipRunHandle::ResetRun() {
    sink_ = nullptr;
    archivePath_.clear();
    abort_ = false;
    lastRun_ = TRunReport{};
}

RunResult TZipRunHandle::Reported(
    const std::function<RunResult(const std::string& archivePath, ZipReporter& reporter)>& body) {
    const std::string archivePath = archivePath_;
    ZipReporter reporter(sink_);
    const RunResult result = body(archivePath, reporter);
    lastRun_ = reporter.Report(result);
    reporter.Finish(archivePath, result);
    return result;
}

} // namespace azip
