#pragma once

// Runs the qmsupport program as a separate process and captures what it prints.

#include "common/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;  // the exit status, or -1 when killed by a signal
    int signal = 0;   // the signal that killed it
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `dir`, which also receives its output, adding `env` to its
// environment. With `user` other than 0, the program runs as that user (the test must run as
// root).
inline ProgramResult RunProgram(const TempDir& dir, const std::string& program,
                                std::vector<std::string> args,
                                const std::map<std::string, std::string>& env = {},
                                uid_t user = 0) {
    args.insert(args.begin(), program);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        if (!freopen(dir.Path("out.txt").c_str(), "w", stdout) ||
            !freopen(dir.Path("err.txt").c_str(), "w", stderr) || chdir(dir.Path().c_str())) {
            _exit(127);
        }
        if (user != 0 && (setgid(user) != 0 || setuid(user) != 0)) {
            _exit(127);
        }
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProgramResult result;
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.out = dir.ReadText("out.txt");
    result.err = dir.ReadText("err.txt");
    return result;
}

// Runs the qmsupport program's `command` with `args` in `dir`; see RunProgram for `env` and
// `user`.
inline ProgramResult RunCommand(const TempDir& dir, const std::string& command,
                                std::vector<std::string> args,
                                const std::map<std::string, std::string>& env = {},
                                uid_t user = 0) {
    args.insert(args.begin(), command);
    return RunProgram(dir, QMSUPPORT_TOOL, std::move(args), env, user);
}
