#include "install/plan.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace qm::install {

namespace {

constexpr const char* kPlanHeader = "{\n  \"planVersion\": 2,\n";
constexpr size_t kHashSize = 32;  // BLAKE2b-256

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

std::string HashText(std::string_view text) {
    unsigned char hash[kHashSize];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size(), nullptr, 0);
    return Hex(hash, sizeof hash);
}

// The content of a regular file, hashed as it is read.
FileFingerprint FingerprintFile(const fs::path& path, std::string name) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        throw Failure("cannot read '" + name + "' to fingerprint it: " + ErrnoText());
    }
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kHashSize);
    FileFingerprint print{std::move(name), 0, {}};
    unsigned char buffer[1 << 16];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const std::string reason = ErrnoText();
            close(fd);
            throw Failure("cannot read '" + print.file + "' to fingerprint it: " + reason);
        }
        crypto_generichash_update(&state, buffer, static_cast<size_t>(got));
        print.size += static_cast<uint64_t>(got);
    }
    close(fd);
    unsigned char hash[kHashSize];
    crypto_generichash_final(&state, hash, sizeof hash);
    print.hash = Hex(hash, sizeof hash);
    return print;
}

// The header of the plan: everything but the report. Its hash is the plan's fingerprint.
std::string Header(const Plan& plan) {
    std::string out = kPlanHeader;
    out += "  \"guidSeed\": ";
    AppendJsonString(out, qm::GuidSeedToHex(plan.seed));
    out += ",\n  \"configuration\": ";
    AppendJsonString(out, plan.configuration);
    out += std::string(",\n  \"scada\": ") + (plan.scada ? "true" : "false");
    out += ",\n  \"choices\": ";
    AppendJsonString(out, plan.choices);
    out += ",\n  \"files\": [";
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const FileFingerprint& file = plan.files[i];
        out += i ? ",\n    {\"file\": " : "\n    {\"file\": ";
        AppendJsonString(out, file.file);
        out += ", \"size\": " + std::to_string(file.size) + ", \"blake2b\": ";
        AppendJsonString(out, file.hash);
        out += "}";
    }
    out += plan.files.empty() ? "],\n" : "\n  ],\n";
    return out;
}

// Reads a JSON string as AppendJsonString writes it, from `text` at `pos`, and moves `pos`
// past it. False for anything else.
bool ReadJsonString(std::string_view text, size_t& pos, std::string& value) {
    if (pos >= text.size() || text[pos] != '"') {
        return false;
    }
    value.clear();
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++pos == text.size()) {
            return false;
        }
        switch (text[pos]) {
            case '"':
            case '\\':
                value += text[pos];
                break;
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case 'u': {
                unsigned code = 0;
                const char* first = text.data() + pos + 1;
                if (text.size() - pos < 5 ||
                    std::from_chars(first, first + 4, code, 16).ptr != first + 4 || code >= 0x80) {
                    return false;
                }
                value += static_cast<char>(code);
                pos += 4;
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

// Consumes `expected` from `text` at `pos`.
bool Expect(std::string_view text, size_t& pos, std::string_view expected) {
    if (text.substr(pos, expected.size()) != expected) {
        return false;
    }
    pos += expected.size();
    return true;
}

bool ReadFileLine(std::string_view line, FileFingerprint& file) {
    size_t pos = 0;
    const char* digits = nullptr;
    if (!Expect(line, pos, "    {\"file\": ") || !ReadJsonString(line, pos, file.file) ||
        !Expect(line, pos, ", \"size\": ")) {
        return false;
    }
    digits = line.data() + pos;
    const auto [end, error] = std::from_chars(digits, line.data() + line.size(), file.size);
    if (error != std::errc() || end == digits) {
        return false;
    }
    pos = static_cast<size_t>(end - line.data());
    if (!Expect(line, pos, ", \"blake2b\": ") || !ReadJsonString(line, pos, file.hash) ||
        !Expect(line, pos, "}")) {
        return false;
    }
    return (pos == line.size() || line.substr(pos) == ",") && file.hash.size() == kHashSize * 2;
}

}  // namespace

std::string Plan::Fingerprint() const {
    return HashText(Header(*this));
}

std::string Plan::Text(const MigrationReport& report) const {
    const std::string json = report.Json();  // ends with "}\n"
    return Header(*this) + "  \"report\": " + json.substr(0, json.size() - 1) + "\n}\n";
}

std::vector<FileFingerprint> FingerprintInstallation(const fs::path& install) {
    std::vector<FileFingerprint> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(install, error), end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        const std::string name = it->path().lexically_relative(install).generic_string();
        const fs::file_status status = it->symlink_status(error);
        if (fs::is_symlink(status)) {
            const std::string target = fs::read_symlink(it->path(), error).string();
            files.push_back({name, target.size(), HashText("link:" + target)});
        } else if (fs::is_regular_file(status)) {
            files.push_back(FingerprintFile(it->path(), name));
        }
    }
    if (error) {
        throw Failure("cannot list '" + install.string() +
                      "' to fingerprint it: " + error.message());
    }
    std::sort(files.begin(), files.end(),
              [](const FileFingerprint& a, const FileFingerprint& b) { return a.file < b.file; });
    return files;
}

Plan ReadPlan(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw Refusal("cannot read the plan '" + file.string() + "': " + ErrnoText());
    }
    std::ostringstream content;
    content << in.rdbuf();
    return ParsePlan(content.str(), file);
}

Plan ParsePlan(const std::string& text, const fs::path& file) {
    const auto notAPlan = [&file](const std::string& why) {
        return Refusal("'" + file.string() + "' is not a plan of a migration (" + why +
                       "); nothing was changed");
    };
    if (text.rfind(kPlanHeader, 0) != 0) {
        throw notAPlan("it does not begin like one");
    }
    Plan plan;
    std::istringstream lines(text.substr(std::string_view(kPlanHeader).size()));
    std::string line, value;
    size_t pos = 0;
    const auto field = [&](std::string_view name) {
        pos = 0;
        return std::getline(lines, line) && Expect(line, pos, "  \"") && Expect(line, pos, name) &&
               Expect(line, pos, "\": ");
    };
    if (!field("guidSeed") || !ReadJsonString(line, pos, value) ||
        !qm::GuidSeedFromHex(value, plan.seed)) {
        throw notAPlan("no identifier seed");
    }
    if (!field("configuration") || !ReadJsonString(line, pos, plan.configuration)) {
        throw notAPlan("no main configuration");
    }
    if (!field("scada")) {
        throw notAPlan("no edition");
    }
    plan.scada = line.substr(pos).starts_with("true");
    if (!field("choices") || !ReadJsonString(line, pos, plan.choices)) {
        throw notAPlan("no choices");
    }
    if (!field("files")) {
        throw notAPlan("no list of files");
    }
    while (line != "  \"files\": []," && std::getline(lines, line) && line != "  ],") {
        FileFingerprint print;
        if (!ReadFileLine(line, print)) {
            throw notAPlan("a damaged line in its list of files");
        }
        plan.files.push_back(std::move(print));
    }
    if (!std::getline(lines, line) || !line.starts_with("  \"report\": ")) {
        throw notAPlan("no report");
    }
    return plan;
}

void CheckUnchangedSince(const Plan& plan, const std::vector<FileFingerprint>& now,
                         const fs::path& planFile) {
    const auto before = [](const FileFingerprint& a, const FileFingerprint& b) {
        return a.file < b.file;
    };
    const auto refuse = [&planFile](const std::string& file, const char* what) {
        throw Refusal("'" + file + "' " + what + " since the plan '" + planFile.string() +
                      "' was made: the installation is no longer the one planned; nothing "
                      "was changed (make a new plan with --dry-run --plan)");
    };
    auto old = plan.files.begin();
    auto current = now.begin();
    while (old != plan.files.end() || current != now.end()) {
        if (current == now.end() || (old != plan.files.end() && before(*old, *current))) {
            refuse(old->file, "has disappeared");
        }
        if (old == plan.files.end() || before(*current, *old)) {
            refuse(current->file, "has appeared");
        }
        if (!(*old == *current)) {
            refuse(old->file, "has changed");
        }
        ++old;
        ++current;
    }
}

}  // namespace qm::install
