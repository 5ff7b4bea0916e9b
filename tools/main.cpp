#include "command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: qmsupport COMMAND [ARGS...]\n\ncommands:\n");
    for (const Command& c : RegisteredCommands()) {
        std::fprintf(out, "  %-14s %s\n", c.name.c_str(), c.summary.c_str());
    }
    std::fprintf(out, "\n'qmsupport COMMAND --help' explains a command.\n");
}
}  // namespace

CommandRegistration::CommandRegistration(Command command) {
    Registry().push_back(std::move(command));
    std::sort(Registry().begin(), Registry().end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
}

const std::vector<Command>& RegisteredCommands() { return Registry(); }

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& c : RegisteredCommands()) {
        if (c.name == argv[1]) {
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "qmsupport: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return kExitUsage;
}
