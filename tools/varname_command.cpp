#include "command.h"
#include "options.h"

#include <qmsupport/text/var_name.h>
#include <qmsupport/toolsapi/codecs.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

struct NamingFunction {
    const char* name;
    const char* arguments;  // for the usage text
    size_t arity;
    bool lastIsFlag;  // JoinVarName's tariff flag
    std::function<void(QMWideString& name, const std::vector<int>& a)> build;
};

const NamingFunction kFunctions[] = {
    {"JoinVarName", "CODE KIND PHASE TARIFF", 4, true,
     [](QMWideString& n, const std::vector<int>& a) { JoinVarName(n, a[0], a[1], a[2], a[3]); }},
    {"JoinArmonicVarName", "CODE ORDER PHASE", 3, false,
     [](QMWideString& n, const std::vector<int>& a) { JoinArmonicVarName(n, a[0], a[1], a[2]); }},
    {"JoinContractVarName", "CODE CONTRACT TARIFF", 3, false,
     [](QMWideString& n, const std::vector<int>& a) { JoinContractVarName(n, a[0], a[1], a[2]); }},
    {"JoinChannelVarName", "CODE CHANNEL", 2, false,
     [](QMWideString& n, const std::vector<int>& a) { JoinChannelVarName(n, a[0], a[1]); }},
    {"JoinMultiFlickerVarName", "CODE INDEX PHASE", 3, false,
     [](QMWideString& n, const std::vector<int>& a) {
         JoinMultiFlickerVarName(n, a[0], a[1], a[2]);
     }},
    {"JoinSTPVarName", "CODE PHASE", 2, false,
     [](QMWideString& n, const std::vector<int>& a) { JoinSTPVarName(n, a[0], a[1]); }},
    {"JoinParkingVarName", "CODE INDEX", 2, false,
     [](QMWideString& n, const std::vector<int>& a) { JoinParkingVarName(n, a[0], a[1]); }},
    {"JoinAlarmVarName", "CODE PART", 2, false,
     [](QMWideString& n, const std::vector<int>& a) { JoinAlarmVarName(n, a[0], a[1]); }},
};

std::string Help() {
    std::string help =
        "usage: qmsupport varname [--name TEXT] FUNCTION ARGS...\n\n"
        "Prints the name of a measured variable as one of the naming functions builds it.\n"
        "Integers are decimal; TARIFF of JoinVarName is true or false. --name gives the\n"
        "name's content before the call, which JoinParkingVarName and JoinAlarmVarName\n"
        "keep for codes they do not know.\n\nfunctions:\n";
    for (const NamingFunction& f : kFunctions) {
        char line[80];
        std::snprintf(line, sizeof line, "  %-24s %s\n", f.name, f.arguments);
        help += line;
    }
    return help + "\nexample: qmsupport varname JoinVarName 28 0 2 true   prints AEIT3\n";
}

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseFlag(const std::string& text, int& value) {
    if (text == "true" || text == "1") {
        value = 1;
    } else if (text == "false" || text == "0") {
        value = 0;
    } else {
        return false;
    }
    return true;
}

int Run(const std::vector<std::string>& args) {
    std::optional<std::string> initialName;
    std::vector<std::string> operands;
    OptionParser parser("varname", Help());
    parser.Value("--name", "a text", initialName);
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return *done;
    }
    if (operands.empty()) {
        return parser.Error("missing FUNCTION");
    }
    const std::string& functionName = operands[0];
    const NamingFunction* function = nullptr;
    for (const NamingFunction& f : kFunctions) {
        if (functionName == f.name) {
            function = &f;
        }
    }
    if (!function) {
        return parser.Error("unknown function '" + functionName + "'");
    }
    if (operands.size() - 1 != function->arity) {
        return parser.Error(std::string(function->name) + " takes " + function->arguments);
    }
    std::vector<int> values(function->arity);
    for (size_t i = 0; i < function->arity; ++i) {
        const std::string& text = operands[1 + i];
        bool flag = function->lastIsFlag && i + 1 == function->arity;
        if (flag ? !ParseFlag(text, values[i]) : !ParseInt(text, values[i])) {
            return parser.Error("'" + text + "' is not " +
                                (flag ? "true or false" : "a 32-bit decimal integer"));
        }
    }
    QMWideString name;
    if (initialName) {
        Utf8ToUtf16(name, initialName->c_str());
    }
    function->build(name, values);
    QMNarrowString utf8;
    Utf16ToUtf8(utf8, name.c_str(), name.Length());
    std::fwrite(utf8.c_str(), 1, utf8.Length(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

const CommandRegistration kRegistration({"varname",
                                         "print a variable name built by a naming function", Run});

}  // namespace
