#pragma once

#include <functional>
#include <string>
#include <vector>

// A subcommand of the qmsupport program. Each one lives in its own file and registers itself
// with a static CommandRegistration, so the dispatcher needs no list of its own.
struct Command {
    std::string name;
    std::string summary;
    // Receives the arguments after the subcommand's name; returns the exit status.
    std::function<int(const std::vector<std::string>& args)> run;
};

struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

const std::vector<Command>& RegisteredCommands();

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
