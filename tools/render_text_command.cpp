#include "command.h"

#include <qmsupport/platform/resource_chain.h>
#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/locale_info.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "usage: qmsupport render-text [--locale NAME] [--resources DIR] [--] TEXT\n\n"
                 "Renders an XML text template given as UTF-8 TEXT ('-' reads it from standard\n"
                 "input) and prints the result as UTF-8. A bare sequence of pieces is rendered\n"
                 "as a whole template; text that is not XML is printed as it is.\n\n"
                 "  --locale NAME    separators and month and day names of this locale "
                 "(de_DE)\n"
                 "  --resources DIR  a resource module (DIR/strings.xml) for IDS_ references\n\n"
                 "example: qmsupport render-text --locale de_DE \\\n"
                 "  '<textValue value=\"1234.5\" decimals=\"2\" thousandSeparator=\"T\"/>'\n");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "qmsupport render-text: %s\n(see 'qmsupport render-text --help')\n",
                 message.c_str());
    return kExitUsage;
}

bool ReadAll(FILE* in, std::string& text) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        text.append(buffer, n);
    }
    return !std::ferror(in);
}

int Run(const std::vector<std::string>& args) {
    std::string locale;
    std::string resources;
    std::vector<std::string> operands;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options || arg == "-" || arg.empty() || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return kExitOk;
        } else if (arg == "--locale" || arg == "--resources") {
            if (i + 1 >= args.size()) {
                return UsageError(arg + " needs a value");
            }
            (arg == "--locale" ? locale : resources) = args[++i];
        } else {
            return UsageError("unknown option '" + arg +
                              "' (put '--' before a TEXT that "
                              "begins with '-')");
        }
    }
    if (operands.size() != 1) {
        return UsageError(operands.empty() ? "missing TEXT" : "give exactly one TEXT");
    }

    std::string text = operands[0];
    if (text == "-") {
        text.clear();
        if (!ReadAll(stdin, text)) {
            std::fprintf(stderr, "qmsupport render-text: cannot read standard input: %s\n",
                         std::strerror(errno));
            return kExitFailure;
        }
    }
    if (!locale.empty()) {
        SetLocaleName(locale.c_str());
    }
    if (!resources.empty() && qm::platform::ResourceChain::AddModule(resources) < 0) {
        std::fprintf(stderr, "qmsupport render-text: cannot read resource module '%s'\n",
                     resources.c_str());
        return kExitFailure;
    }

    QMWideString rendered;
    ParseXMLText(QMNarrowString(text), rendered);
    QMNarrowString utf8;
    Utf16ToUtf8(utf8, rendered.c_str(), rendered.Length());
    std::fwrite(utf8.c_str(), 1, utf8.Length(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

const CommandRegistration kRegistration({"render-text", "render an XML text template and print it",
                                         Run});

}  // namespace
