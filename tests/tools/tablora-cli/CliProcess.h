// tablora-cli started as a real process, as a scheduler or a second terminal would start it:
// its own environment, standard error kept in a file, its exit code awaited.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace test {

class TCliProcess {
public:
    // Starts tablora-cli with `args`; its standard output and error go to `errorFile`.
    TCliProcess(const std::vector<std::string>& args, const std::string& errorFile) : errorFile_(errorFile) {
        std::vector<std::string> argv{TABLORA_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const int error = ::posix_spawn(&pid_, TABLORA_CLI, &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) throw std::runtime_error("cannot start " + std::string(TABLORA_CLI));
    }
    ~TCliProcess() {
        if (pid_ > 0) Wait();
    }
    TCliProcess(const TCliProcess&) = delete;
    TCliProcess& operator=(const TCliProcess&) = delete;

    pid_t Pid() const { return pid_; }

    // The exit code, or -1 when the process did not end normally.
    int Wait() {
        if (pid_ <= 0) return code_;
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0) {
        }
        pid_ = 0;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return code_;
    }

    // What the process wrote on standard output and error.
    std::string Output() const {
        std::ifstream in(errorFile_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string errorFile_;
    pid_t pid_ = 0;
    int code_ = -1;
};

} // namespace test
