// qmsupport drivers: lists the built-in drivers catalogue, optionally restricted by an
// installation's drivers setup and its editors' feature files.

#include "command.h"
#include "options.h"
#include "text_output.h"

#include <qmsupport/platform/native_path.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/xml/xml_document.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: qmsupport drivers [--drivers-setup FILE] [--features-dir DIR] [--version N]\n"
    "                         [--json]\n"
    "\n"
    "Lists the built-in catalogue of device drivers: index, identifier, family, enablement\n"
    "group, whether the driver is enabled, its views (A analog, T text), its display name and\n"
    "the kinds of device that may be placed below it.\n"
    "\n"
    "  --drivers-setup FILE  apply the drivers setup of an installation: FILE is an XML file\n"
    "                        whose root is \"Drivers\" or has a \"Drivers\" child (the main\n"
    "                        configuration file, for instance)\n"
    "  --features-dir DIR    where the editors' feature files scada.xcfg and report.xcfg are\n"
    "                        read (DIR, else its parent); default: the current directory\n"
    "  --version N           the version word (decimal or 0x hexadecimal): 0x01000000 is the\n"
    "                        SCADA edition, 0x02000000 the parking edition; default: 1\n"
    "  --json                write JSON instead of a table\n";

struct Options {
    std::optional<std::string> driversSetup;
    std::optional<std::string> featuresDir;
    std::optional<unsigned long> version;
    bool json = false;
};

int Failure(const std::string& message) {
    std::fprintf(stderr, "qmsupport drivers: %s\n", message.c_str());
    return kExitFailure;
}

std::optional<unsigned long> ParseVersion(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    unsigned long value = std::strtoul(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFul) {
        return std::nullopt;
    }
    return value;
}

// Parses the arguments; returns an exit status when the command is done (help or error).
std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& options) {
    std::optional<std::string> version;
    std::vector<std::string> operands;
    OptionParser parser("drivers", kUsage);
    parser.Value("--drivers-setup", "a file name", options.driversSetup)
        .Value("--features-dir", "a folder", options.featuresDir)
        .Value("--version", "a number", version)
        .Flag("--json", options.json);
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return done;
    }
    if (!operands.empty()) {
        return parser.Error("unexpected argument '" + operands[0] + "'");
    }
    if (version && !(options.version = ParseVersion(*version))) {
        return parser.Error("--version needs a number from 0 to 0xFFFFFFFF, not '" + *version +
                            "'");
    }
    if (options.featuresDir && !options.driversSetup) {
        return parser.Error("--features-dir is only read together with --drivers-setup");
    }
    return std::nullopt;
}

// The drivers-setup node: the root itself when it is "Drivers", else the root's child.
const XmlDocument::XmlNode* DriversNode(const XmlDocument& document) {
    const XmlDocument::XmlNode& root = document.Root();
    if (root.Tag() == L"Drivers") {
        return &root;
    }
    for (auto it = root.ChildsBegin(); it != root.ChildsEnd(); ++it) {
        if (!(*it)->IsKey() && (*it)->Tag() == L"Drivers") {
            return *it;
        }
    }
    return nullptr;
}

// Loads the drivers setup and applies it, reading the feature files from `featuresDir`.
int ApplyDriversSetup(QMTarvioSetup& setup, const Options& options) {
    const std::string& file = *options.driversSetup;
    const QMWideString widePath = Wide(file);
    const std::string native = qm::platform::NativePath(widePath.c_str());
    std::error_code error;
    if (!std::filesystem::is_regular_file(native, error)) {
        return Failure(
            "cannot read '" + file + "': " +
            (std::filesystem::exists(native, error) ? "not a regular file" : "no such file"));
    }
    XmlDocument document;
    if (!document.Load(widePath.c_str())) {
        return Failure(qm::XmlLoadFailure(file, document));
    }
    const XmlDocument::XmlNode* drivers = DriversNode(document);
    if (!drivers) {
        return Failure("'" + file +
                       "' has no \"Drivers\" node (neither its root nor a child of it)");
    }

    const std::string featuresDir = options.featuresDir.value_or(".");
    if (options.featuresDir) {
        std::filesystem::current_path(qm::platform::NativePath(Wide(featuresDir).c_str()), error);
        if (error) {
            return Failure("cannot change into '" + featuresDir + "': " + error.message());
        }
    }
    if (!setup.ReadDriversSetup(drivers)) {
        std::fprintf(stderr,
                     "qmsupport drivers: warning: scada.xcfg and report.xcfg were not both "
                     "found in '%s' or its parent; the editors' feature flags are partly "
                     "defaults\n",
                     featuresDir.c_str());
    }
    return kExitOk;
}

std::string ViewsText(const qm::DriversCatalogue::DriverEntry& row) {
    std::string views;
    if (row.analogView) {
        views += 'A';
    }
    if (row.textView) {
        views += 'T';
    }
    return views.empty() ? "-" : views;
}

// "-" for none, else the number of kinds, with the limited ones as "index<=max".
std::string ChildrenText(const qm::DriversCatalogue::DriverEntry& row) {
    if (row.childRules.empty()) {
        return "-";
    }
    std::string limited;
    for (const qm::DriversCatalogue::ChildRule& rule : row.childRules) {
        if (rule.max != qm::kUnlimitedChildren) {
            limited += (limited.empty() ? "" : ", ") + std::to_string(rule.index) +
                       "<=" + std::to_string(rule.max);
        }
    }
    std::string text = std::to_string(row.childRules.size()) + " kinds";
    return limited.empty() ? text : text + " (" + limited + ")";
}

// The number of characters of UTF-8 text, for aligning columns.
size_t Columns(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

void PrintTable(const QMTarvioSetup& setup) {
    std::vector<std::vector<std::string>> lines = {
        {"#", "Identifier", "Family", "Group", "Enabled", "Views", "Name", "Children"}};
    for (int i = 0; i < qm::kDriverCount; ++i) {
        const qm::DriversCatalogue::DriverEntry& row = *setup.CatalogueRow(i);
        lines.push_back({std::to_string(i), Utf8(row.identifier.c_str()), Utf8(row.family.c_str()),
                         row.group < 0 ? "-" : std::to_string(row.group),
                         setup.IsDriverEnabled(i) ? "yes" : "no", ViewsText(row),
                         Utf8(row.name.c_str()), ChildrenText(row)});
    }
    std::vector<size_t> widths(lines[0].size(), 0);
    for (const auto& line : lines) {
        for (size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], Columns(line[c]));
        }
    }
    for (const auto& line : lines) {
        std::string out;
        for (size_t c = 0; c < line.size(); ++c) {
            out += line[c];
            if (c + 1 < line.size()) {
                out.append(widths[c] - Columns(line[c]) + 2, ' ');
            }
        }
        std::printf("%s\n", out.c_str());
    }
    std::string flags;
    for (int flag = 0; flag < qm::kFeatureFlagCount; ++flag) {
        if (setup.HasResource(flag)) {
            flags += (flags.empty() ? "" : " ") + std::to_string(flag);
        }
    }
    std::printf("\nfeature flags set: %s\n", flags.empty() ? "none" : flags.c_str());
}

const char* JsonBool(bool value) {
    return value ? "true" : "false";
}

void PrintJson(const QMTarvioSetup& setup) {
    std::string out = "{\n  \"version\": " + std::to_string(setup.Version()) +
                      ",\n  \"scada\": " + JsonBool(setup.HasScada()) +
                      ",\n  \"parking\": " + JsonBool(setup.HasParking()) + ",\n  \"features\": [";
    for (int flag = 0; flag < qm::kFeatureFlagCount; ++flag) {
        out += std::string(flag ? ", " : "") + JsonBool(setup.HasResource(flag));
    }
    out += "],\n  \"drivers\": [\n";
    for (int i = 0; i < qm::kDriverCount; ++i) {
        const qm::DriversCatalogue::DriverEntry& row = *setup.CatalogueRow(i);
        out += "    {\"index\": " + std::to_string(i) +
               ", \"identifier\": " + JsonString(Utf8(row.identifier.c_str())) +
               ", \"family\": " + JsonString(Utf8(row.family.c_str())) +
               ", \"group\": " + std::to_string(row.group) +
               ", \"enabled\": " + JsonBool(setup.IsDriverEnabled(i)) +
               ", \"analogView\": " + JsonBool(row.analogView) +
               ", \"textView\": " + JsonBool(row.textView) +
               ", \"name\": " + JsonString(Utf8(row.name.c_str())) + ", \"images\": [" +
               std::to_string(row.smallImage) + ", " + std::to_string(row.mediumImage) + ", " +
               std::to_string(row.largeImage) + "], \"children\": [";
        for (size_t r = 0; r < row.childRules.size(); ++r) {
            out += std::string(r ? ", " : "") +
                   "{\"index\": " + std::to_string(row.childRules[r].index) +
                   ", \"max\": " + std::to_string(row.childRules[r].max) + "}";
        }
        out += std::string("]}") + (i + 1 < qm::kDriverCount ? ",\n" : "\n");
    }
    out += "  ]\n}\n";
    std::fputs(out.c_str(), stdout);
}

int RunDrivers(const std::vector<std::string>& args) {
    Options options;
    if (std::optional<int> done = ParseOptions(args, options)) {
        return *done;
    }
    QMTarvioSetup setup;
    if (options.version) {
        setup.SetVersion(*options.version);
    }
    if (options.driversSetup) {
        if (int status = ApplyDriversSetup(setup, options); status != kExitOk) {
            return status;
        }
    }
    if (options.json) {
        PrintJson(setup);
    } else {
        PrintTable(setup);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return Failure("cannot write the listing");
    }
    return kExitOk;
}

const CommandRegistration kRegistration{
    Command{"drivers", "list the drivers catalogue, optionally with a drivers setup", RunDrivers}};

}  // namespace
