#include "platform/zip/ZipRunHandle.h"

#include "platform/zip/ZipReporter.h"

namespace azip {

void TZipRunHandle::ResetRun() {
    sink_ = nullptr;
    archivePath_.clear();
    abort_ = false;
    lastRun_ = TRunReport{};
}

TRunResult TZipRunHandle::Reported(
    const std::function<TRunResult(const std::string& archivePath, TZipReporter& reporter)>& body) {
    const std::string archivePath = archivePath_;
    TZipReporter reporter(sink_);
    const TRunResult result = body(archivePath, reporter);
    lastRun_ = reporter.Report(result);
    reporter.Finish(archivePath, result);
    return result;
}

} // namespace azip
