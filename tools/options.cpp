#include "options.h"

#include "command.h"

#include <cstdio>
#include <utility>

int UsageError(const std::string& command, const std::string& message) {
    const std::string program = command.empty() ? "qmsupport" : "qmsupport " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), message.c_str(),
                 program.c_str());
    return kExitUsage;
}

OptionParser::OptionParser(std::string command, std::string help)
    : command_(std::move(command)), help_(std::move(help)) {}

OptionParser& OptionParser::Flag(std::string name, bool& value) {
    options_.push_back({std::move(name), &value, nullptr, {}});
    return *this;
}

OptionParser& OptionParser::Value(std::string name, std::string what,
                                  std::optional<std::string>& value) {
    options_.push_back({std::move(name), nullptr, &value, std::move(what)});
    return *this;
}

const OptionParser::Option* OptionParser::Find(const std::string& name) const {
    for (const Option& option : options_) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

int OptionParser::Error(const std::string& message) const {
    return UsageError(command_, message);
}

namespace {

// "-" alone and "-5" are operands; any other argument that starts with "-" is an option.
bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

}  // namespace

std::optional<int> OptionParser::Parse(const std::vector<std::string>& args,
                                       std::vector<std::string>& operands) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !IsOption(arg)) {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(help_.c_str(), stdout);
            return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const Option* option = Find(name);
        if (option == nullptr) {
            return Error("unknown option '" + name + "'");
        }
        if (option->flag != nullptr) {
            if (equals != std::string::npos) {
                return Error(name + " takes no value");
            }
            *option->flag = true;
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (value.empty()) {
            return Error(name + " needs " + option->what);
        }
        *option->value = std::move(value);
    }
    return std::nullopt;
}
