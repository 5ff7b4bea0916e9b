#pragma once

// Runs the qmsupport program as a separate process and captures what it prints.

#include "platform/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;  // the exit status, or -1 when killed by a signal
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `dir`, which also receives its output.
inline ProgramResult RunProgram(const TempDir& dir, const std::string& program,
                                std::vector<std::string> args) {
    args.insert(args.begin(), program);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(dir.Path("out.txt").c_str(), "w", stdout) ||
            !freopen(dir.Path("err.txt").c_str(), "w", stderr) || chdir(dir.Path().c_str())) {
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
    }
    result.out = dir.ReadText("out.txt");
    result.err = dir.ReadText("err.txt");
    return result;
}
