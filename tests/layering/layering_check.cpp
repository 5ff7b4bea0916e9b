// The layering check: every #include in include/qmsupport/<area>/ and src/<area>/ of a source
// tree must stay within its own area or reach an area that the layer table in docs/layers.md
// lets it include. Prints one line "file:line: <area> may not include <other> (<include>)" for
// each include that breaks the table and exits with 1; exits with 2 when the table cannot be read.
//
//   layering_check SOURCE_ROOT

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Area name -> the areas it may include.
using LayerTable = std::map<std::string, std::set<std::string>>;

// The rows of the table "| area | may include |" in the page; the dependency cell lists area
// names separated by commas and may be empty.
bool ReadLayerTable(const fs::path& page, LayerTable& table, std::string& error) {
    std::ifstream in(page);
    if (!in) {
        error = page.string() + ": cannot be read";
        return false;
    }
    static const std::regex header(R"(^\|\s*area\s*\|\s*may include\s*\|\s*$)");
    static const std::regex separator(R"(^\|[\s|:-]*$)");
    static const std::regex row(R"(^\|\s*([a-z0-9_]+)\s*\|([^|]*)\|\s*$)");
    static const std::regex name(R"([a-z0-9_]+)");
    bool inTable = false;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (std::regex_match(line, header)) {
            inTable = true;
        } else if (inTable && std::regex_match(line, match, row)) {
            std::set<std::string>& allowed = table[match[1].str()];
            const std::string cell = match[2].str();
            for (std::sregex_iterator it(cell.begin(), cell.end(), name), end; it != end; ++it) {
                allowed.insert(it->str());
            }
        } else if (inTable && !std::regex_match(line, separator)) {
            inTable = false;
        }
    }
    if (table.empty()) {
        error = page.string() + ": no table \"| area | may include |\"";
        return false;
    }
    for (const auto& [area, allowed] : table) {
        for (const std::string& other : allowed) {
            if (!table.contains(other)) {
                error = page.string() + ": " + area + " may include " + other +
                        ", which has no row of its own";
                return false;
            }
        }
    }
    return true;
}

// The area that an include names, or "" for one outside the library's areas: <qmsupport/AREA/...>
// for public headers, "AREA/..." for the private headers under src/. The umbrella header counts
// as an area of its own that no area may include.
std::string IncludedArea(const std::string& target, bool angled, const LayerTable& table) {
    std::string path = target;
    if (angled) {
        if (path.rfind("qmsupport/", 0) != 0) {
            return {};
        }
        path = path.substr(std::string("qmsupport/").size());
        if (path == "qmsupport.h") {
            return path;
        }
    }
    const size_t slash = path.find('/');
    if (slash == std::string::npos) {
        return {};
    }
    const std::string area = path.substr(0, slash);
    return table.contains(area) ? area : std::string();
}

struct Violation {
    std::string file;
    int line = 0;
    std::string area;
    std::string other;
    std::string include;
};

void CheckFile(const fs::path& root, const fs::path& file, const std::string& area,
               const LayerTable& table, std::vector<Violation>& violations) {
    static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"].*)");
    std::ifstream in(file);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::smatch match;
        if (!std::regex_match(line, match, include)) {
            continue;
        }
        const std::string target = match[2].str();
        const std::string other = IncludedArea(target, match[1].str() == "<", table);
        if (other.empty() || other == area || table.at(area).contains(other)) {
            continue;
        }
        const std::string quoted =
            match[1].str() == "<" ? "<" + target + ">" : "\"" + target + "\"";
        violations.push_back(
            {fs::relative(file, root).generic_string(), number, area, other, quoted});
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: layering_check SOURCE_ROOT\n");
        return 2;
    }
    const fs::path root = argv[1];
    LayerTable table;
    std::string error;
    if (!ReadLayerTable(root / "docs" / "layers.md", table, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }

    std::vector<Violation> violations;
    std::vector<std::string> undeclared;
    for (const fs::path& top : {root / "include" / "qmsupport", root / "src"}) {
        if (!fs::is_directory(top)) {
            continue;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(top)) {
            if (!entry.is_directory()) {
                continue;
            }
            const std::string area = entry.path().filename().string();
            if (!table.contains(area)) {
                undeclared.push_back(fs::relative(entry.path(), root).generic_string());
                continue;
            }
            for (const fs::directory_entry& file : fs::recursive_directory_iterator(entry)) {
                const std::string extension = file.path().extension().string();
                if (file.is_regular_file() && (extension == ".h" || extension == ".cpp")) {
                    CheckFile(root, file.path(), area, table, violations);
                }
            }
        }
    }

    std::sort(violations.begin(), violations.end(), [](const Violation& a, const Violation& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    std::sort(undeclared.begin(), undeclared.end());
    for (const std::string& folder : undeclared) {
        std::printf("%s: area %s is not in the table of docs/layers.md\n", folder.c_str(),
                    fs::path(folder).filename().c_str());
    }
    for (const Violation& v : violations) {
        std::printf("%s:%d: %s may not include %s (%s)\n", v.file.c_str(), v.line, v.area.c_str(),
                    v.other.c_str(), v.include.c_str());
    }
    if (!violations.empty() || !undeclared.empty()) {
        std::printf("forbidden includes: %zu, undeclared areas: %zu\n", violations.size(),
                    undeclared.size());
        return 1;
    }
    std::printf("layering: every include follows docs/layers.md\n");
    return 0;
}
