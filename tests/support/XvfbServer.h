// A private virtual X server for one test: Xvfb picks a free display number itself and
// tells it back through a pipe, so tests never collide with each other or with a desktop.
// When Xvfb is not installed or does not start, Running() is false and the test skips.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace test {

class XvfbServer {
public:
    XvfbServer() {
        const std::string program = FindProgram("Xvfb");
        if (program.empty()) return;
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int devNull = ::open("/dev/null", O_WRONLY);
            if (devNull >= 0) {
                ::dup2(devNull, STDOUT_FILENO);
                ::dup2(devNull, STDERR_FILENO);
            }
            const std::string fd = std::to_string(fds[1]);
            ::execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
                    "800x600x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (pid_ < 0) {
            ::close(fds[0]);
            return;
        }
        // The server writes "N\n" once it accepts connections; 60 s covers a loaded machine.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 60000) > 0) {
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        if (number.empty()) {
            Stop();
            return;
        }
        display_ = ":" + number;
    }
    ~XvfbServer() { Stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Running() const { return !display_.empty(); }
    const std::string& Display() const { return display_; }

private:
    static std::string FindProgram(const std::string& name) {
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        std::size_t start = 0;
        while (start <= dirs.size()) {
            std::size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            const std::string candidate = dirs.substr(start, end - start) + "/" + name;
            if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
            start = end + 1;
        }
        return {};
    }
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        display_.clear();
    }

    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace test
