// What a packer and an unpacker hold alike: the receiver of their messages, the archive, an
// abort request and the report of the last run. Nothing of it is shared between handles.
#pragma once

#include "platform/zip/ZipMessages.h"

#include <atomic>
#include <functional>
#include <string>
#include <utility>

namespace azip {

class TZipReporter;

class TZipRunHandle {
public:
    TZipRunHandle(const TZipRunHandle&) = delete;
    TZipRunHandle& operator=(const TZipRunHandle&) = delete;

    // Called as callback(0, type, text).
    void InstallCallback(ZipCallback callback) { sink_ = SinkOf(callback); }
    void InstallSink(TZipMessageSink sink) { sink_ = std::move(sink); }
    void SetArchiveName(std::string archivePath) { archivePath_ = std::move(archivePath); }

    // Asks the running (or the next) run to stop; callable from the callback and from another
    // thread. It stays asked until the handle is reset.
    void Abort(bool abort = true) { abort_ = abort; }
    // What the last run left (an empty report before any).
    const TRunReport& LastRun() const { return lastRun_; }

protected:
    TZipRunHandle() = default;
    ~TZipRunHandle() = default;

    // No receiver, no archive, no abort request, no report.
    void ResetRun();
    // Runs `body` on the archive and receiver as they are now (a change made from the callback
    // counts from the next run), keeps its report and sends RunFinished.
    TRunResult Reported(const std::function<TRunResult(const std::string& archivePath, TZipReporter& reporter)>& body);

    std::atomic<bool> abort_{false};

private:
    TZipMessageSink sink_;
    std::string archivePath_;
    TRunReport lastRun_;
};

} // namespace azip
