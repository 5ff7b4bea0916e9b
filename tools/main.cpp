#include "command.h"
#include "options.h"

#include <qmsupport/version.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

int PrintHelp() {
    std::printf(
        "usage: qmsupport COMMAND [ARGS...]\n"
        "       qmsupport help COMMAND\n"
        "       qmsupport --version\n\ncommands:\n");
    for (const Command& c : RegisteredCommands()) {
        std::printf("  %-18s %s\n", c.name.c_str(), c.summary.c_str());
    }
    std::printf(
        "\n'qmsupport help COMMAND' or 'qmsupport COMMAND --help' explains a command. An\n"
        "option with a value is given as --option VALUE or --option=VALUE.\n"
        "\nExit status: 0 done, 1 failed, 2 usage error; a command may say more.\n");
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& c : RegisteredCommands()) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

// "help COMMAND": the command's own help, as COMMAND --help prints it.
int Help(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        return PrintHelp();
    }
    if (args.size() > 1) {
        return UsageError("help", "give one command, not also '" + args[1] + "'");
    }
    const Command* command = FindCommand(args[0]);
    if (command == nullptr) {
        return UsageError("", "unknown command '" + args[0] + "'");
    }
    return command->run({"--help"});
}

const CommandRegistration kHelpRegistration{
    Command{"help", "explain a command (the same as COMMAND --help)", Help}};

}  // namespace

CommandRegistration::CommandRegistration(Command command) {
    Registry().push_back(std::move(command));
    std::sort(Registry().begin(), Registry().end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
}

const std::vector<Command>& RegisteredCommands() {
    return Registry();
}

int main(int argc, char** argv) {
    if (argc < 2) {
        return UsageError("", "no command given");
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        return PrintHelp();
    }
    if (first == "--version") {
        std::printf("qmsupport %s\n", qm::Version());
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
    }
    if (first.size() > 1 && first[0] == '-') {
        return UsageError("", "unknown option '" + first + "'");
    }
    if (const Command* command = FindCommand(first)) {
        return command->run(std::vector<std::string>(argv + 2, argv + argc));
    }
    return UsageError("", "unknown command '" + first + "'");
}
