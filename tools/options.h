#pragma once

// The option parser that every subcommand shares, so that all of them read their command
// line alike:
// - "--name VALUE" and "--name=VALUE" for an option with a value, "--name" for a flag; an
//   option declared with one dash ("-o") is read the same way;
// - "--help" and "-h" print the command's help;
// - arguments that are no options are operands, in their order: "-" (standard input, say)
//   and negative numbers ("-5") among them; after "--" every argument is one;
// - a usage error is one line naming the fault, then a hint to the help, on stderr.

#include <optional>
#include <string>
#include <vector>

// Prints "qmsupport COMMAND: MESSAGE" and the hint to 'qmsupport COMMAND --help' on stderr,
// and returns the usage exit status. An empty `command` stands for the program itself.
int UsageError(const std::string& command, const std::string& message);

class OptionParser {
  public:
    // `command` is the subcommand's name; `help` is its whole help text, printed for --help.
    OptionParser(std::string command, std::string help);

    // An option without a value: --name sets `value` to true.
    OptionParser& Flag(std::string name, bool& value);
    // An option with a non-empty value, which `what` names in messages ("a file name"). The
    // last one given counts.
    OptionParser& Value(std::string name, std::string what, std::optional<std::string>& value);

    // Parses `args` (the arguments after the subcommand's name) and fills the declared
    // variables and `operands`. Returns an exit status when the command is done: after the
    // help was printed, or after a usage error. Nothing when the command goes on.
    std::optional<int> Parse(const std::vector<std::string>& args,
                             std::vector<std::string>& operands);

    // A usage error of this command that its own checks found, as UsageError prints it.
    int Error(const std::string& message) const;

  private:
    struct Option {
        std::string name;
        bool* flag = nullptr;
        std::optional<std::string>* value = nullptr;
        std::string what;
    };
    const Option* Find(const std::string& name) const;

    std::string command_;
    std::string help_;
    std::vector<Option> options_;
};
