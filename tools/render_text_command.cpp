#include "command.h"
#include "options.h"

#include <qmsupport/store/resource_chain.h>
#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/locale_info.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kHelp =
    "usage: qmsupport render-text [--locale NAME] [--resources DIR] [--] TEXT\n\n"
    "Renders an XML text template given as UTF-8 TEXT ('-' reads it from standard\n"
    "input) and prints the result as UTF-8. A bare sequence of pieces is rendered\n"
    "as a whole template, and only its pieces print: plain words between them do\n"
    "not. Text that is not well-formed XML, even so wrapped, is printed as it is.\n\n"
    "  --locale NAME    separators and month and day names of this locale "
    "(de_DE)\n"
    "  --resources DIR  a resource module (DIR/strings.xml) for IDS_ references\n\n"
    "example: qmsupport render-text --locale de_DE \\\n"
    "  '<textValue value=\"1234.5\" decimals=\"2\" thousandSeparator=\"T\"/>'\n";

bool ReadAll(FILE* in, std::string& text) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        text.append(buffer, n);
    }
    return !std::ferror(in);
}

int Run(const std::vector<std::string>& args) {
    std::optional<std::string> locale;
    std::optional<std::string> resources;
    std::vector<std::string> operands;
    OptionParser parser("render-text", kHelp);
    parser.Value("--locale", "a locale name", locale).Value("--resources", "a folder", resources);
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return *done;
    }
    if (operands.size() != 1) {
        return parser.Error(operands.empty() ? "missing TEXT" : "give exactly one TEXT");
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
    if (locale) {
        SetLocaleName(locale->c_str());
    }
    if (resources && qm::platform::ResourceChain::AddModule(*resources) < 0) {
        std::fprintf(stderr, "qmsupport render-text: cannot read resource module '%s'\n",
                     resources->c_str());
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
