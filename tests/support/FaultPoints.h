// Every failure point and every kill point of one operation. A clean run counts the calls the
// operation makes through the file-system seam; then the operation runs once per call with
// that call failing (each with one of ENOSPC, EIO, EACCES, EROFS in turn), or in a child
// process killed with SIGKILL just before that call reaches the disk. After each run the
// test's check looks at what was reported and what is left on the disk.
#pragma once

#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/Messages.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <string>

namespace test {

// One run with a fault at `Point` (counted from 1).
struct TPointRun {
    std::uint64_t Point = 0;
    int Error = 0;            // the errno the failing call returned (0 for a kill)
    std::string StruckAt;     // the call that failed: "rename /db/.~T.db.1.tmp -> /db/T.db"
    std::string Reported;     // what reached the caller (an error's text, messages shown); "" for success
    bool Killed = false;      // the child process was killed at the point
};

inline constexpr int PointErrors[] = {ENOSPC, EIO, EACCES, EROFS};

// Runs `run` under a fault-injecting file system armed with `fault`; an error leaving `run`
// becomes the reported text.
inline std::string RunUnder(rtl::TFaultInjectingFileSystem& fs, const rtl::TFault& fault,
                            const std::function<std::string()>& run) {
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(fault);
    try {
        return run();
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

// `prepare` puts the files into their state before the operation; `run` performs it and
// returns what it reported ("" for success; an error leaving it is caught); `check` looks at
// each failed run. The clean run must report success. Prints and returns the number of
// points, the calls of every kind in `ops`.
inline std::uint64_t ForEachFailurePoint(const std::string& operation, const std::function<void()>& prepare,
                                         const std::function<std::string()>& run,
                                         const std::function<void(const TPointRun&)>& check,
                                         std::uint32_t ops = rtl::AllOps()) {
    rtl::TFaultInjectingFileSystem fs;
    prepare();
    const std::string clean = RunUnder(fs, rtl::TFault{ops, 0, 0, false, {}}, run);
    EXPECT_EQ(clean, "") << operation << ": the run without faults reported a problem";
    const std::uint64_t points = fs.Counted();
    for (std::uint64_t point = 1; point <= points; ++point) {
        prepare();
        TPointRun r;
        r.Point = point;
        r.Error = PointErrors[point % 4];
        r.Reported = RunUnder(fs, rtl::TFault{ops, point, r.Error, false, {}}, run);
        r.StruckAt = fs.StruckAt();
        SCOPED_TRACE(operation + ": failure point " + std::to_string(point) + " of " + std::to_string(points) + " (" +
                     std::strerror(r.Error) + " at " + r.StruckAt + "), reported: " +
                     (r.Reported.empty() ? "success" : r.Reported));
        EXPECT_TRUE(fs.Struck()) << "the run took another path than the clean one";
        check(r);
        if (::testing::Test::HasFatalFailure()) break;
    }
    std::cout << "failure points covered: " << operation << ": " << points << std::endl;
    return points;
}

// The same for kills: the clean run counts the calls that change the disk (a kill at any
// other call leaves the disk as at the next of these); each point runs in a child process
// killed just before that call. `check` sees Reported empty and Killed set.
inline std::uint64_t ForEachKillPoint(const std::string& operation, const std::function<void()>& prepare,
                                      const std::function<std::string()>& run,
                                      const std::function<void(const TPointRun&)>& check) {
    rtl::TFaultInjectingFileSystem counter;
    prepare();
    EXPECT_EQ(RunUnder(counter, rtl::TFault{}, run), "") << operation << ": the run without faults reported a problem";
    const std::uint64_t points = counter.Counted();
    for (std::uint64_t point = 1; point <= points; ++point) {
        prepare();
        const pid_t child = ::fork();
        if (child == 0) {
            rtl::TFaultInjectingFileSystem fs;
            RunUnder(fs, rtl::TFault{0, point, 0, true, {}}, run);
            ::_exit(0);  // not killed: the run took another path
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        TPointRun r;
        r.Point = point;
        r.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        SCOPED_TRACE(operation + ": killed at point " + std::to_string(point) + " of " + std::to_string(points));
        EXPECT_TRUE(r.Killed) << "the child was not killed at the point";
        check(r);
        if (::testing::Test::HasFatalFailure()) break;
    }
    std::cout << "kill points covered: " << operation << ": " << points << std::endl;
    return points;
}

// Both of the above with one check, which tells a failed run (Reported) from a killed one.
inline void ForEachFaultPoint(const std::string& operation, const std::function<void()>& prepare,
                              const std::function<std::string()>& run,
                              const std::function<void(const TPointRun&)>& check) {
    ForEachFailurePoint(operation, prepare, run, check);
    if (!::testing::Test::HasFatalFailure()) ForEachKillPoint(operation, prepare, run, check);
}

// A clear error names why: the system's text for the errno struck, in the process language.
inline void ExpectReasonGiven(const TPointRun& r) {
    EXPECT_NE(r.Reported.find(rtl::SystemReason(r.Error)), std::string::npos)
        << "the error does not say why: " << r.Reported;
}

} // namespace test
