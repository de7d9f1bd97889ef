// A program of ours started as a real process, as a scheduler or a second terminal would
// start it: its own environment (the test's, plus what the test adds), standard output and
// error kept together in a file, its exit code awaited.
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

class TChildProcess {
public:
    // Starts `program` with `args` and the variables `environment` ("NAME=value") added to the
    // test's own; its standard output and error go to `outputFile`.
    // With an `errorFile`, standard error goes there instead.
    TChildProcess(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile,
                  const std::vector<std::string>& environment = {}, const std::string& errorFile = {})
        : outputFile_(outputFile) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> rawArgs;
        for (std::string& a : argv) rawArgs.push_back(a.data());
        rawArgs.push_back(nullptr);
        std::vector<std::string> env(environment);
        for (char** e = environ; *e; ++e) env.push_back(*e);  // the first of a name wins
        std::vector<char*> rawEnv;
        for (std::string& e : env) rawEnv.push_back(e.data());
        rawEnv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (errorFile.empty())
            posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int error = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, rawArgs.data(), rawEnv.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) throw std::runtime_error("cannot start " + program);
    }
    ~TChildProcess() {
        if (pid_ > 0) Wait();
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

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
        std::ifstream in(outputFile_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string outputFile_;
    pid_t pid_ = 0;
    int code_ = -1;
};

// One finished run: its exit code and everything it printed.
struct TProgramRun {
    int Code = -1;
    std::string Output;
};

inline TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                              const std::string& outputFile, const std::vector<std::string>& environment = {}) {
    TChildProcess child(program, args, outputFile, environment);
    TProgramRun run;
    run.Code = child.Wait();
    run.Output = child.Output();
    return run;
}

} // namespace test
