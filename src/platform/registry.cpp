#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/registry.h>

#include "platform/path_rules.h"
#include "platform/xml_feed.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>
#include <new>

// The file holds one element per key, with its full path, and the key's values below it:
//
//   <registry>
//     <key path="Software\Vendor\Product">
//       <value name="Runtime" type="dword">1</value>
//       <value name="Title" type="string">text</value>
//     </key>
//   </registry>
//
// Key paths and value names are matched without regard to case, as the Windows registry does.

namespace qm::platform {
namespace {

constexpr const char* kDword = "dword";
constexpr const char* kString = "string";

struct Value {
    std::string name;  // as first written
    std::string type;
    std::string text;
};

struct Key {
    std::string path;                        // as first written
    std::map<std::u32string, Value> values;  // by folded name
};

using Hive = std::map<std::u32string, Key>;  // by folded path

// "a\\b\\\\c\\" -> "a\\b\\c": empty components mean nothing.
std::string NormalizeKeyPath(std::string_view utf8) {
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t end = utf8.find('\\', i);
        if (end == std::string::npos) {
            end = utf8.size();
        }
        if (end > i) {
            if (!out.empty()) {
                out += '\\';
            }
            out.append(utf8.substr(i, end - i));
        }
        i = end + 1;
    }
    return out;
}

struct HiveParser {
    XML_Parser parser = nullptr;
    Hive* hive = nullptr;
    int depth = 0;
    Key* key = nullptr;
    Value value;
    bool inValue = false;
    bool wrongRoot = false;
    bool failed = false;  // out of memory in a handler; exceptions must not cross expat

    template <class F>
    static void Guard(void* data, F&& handler) {
        auto* self = static_cast<HiveParser*>(data);
        try {
            handler(*self);
        } catch (const std::exception&) {
            self->failed = true;
            XML_StopParser(self->parser, XML_FALSE);
        }
    }

    static const char* Attribute(const XML_Char** attributes, std::string_view name) {
        for (const XML_Char** a = attributes; a[0]; a += 2) {
            if (name == a[0]) {
                return a[1];
            }
        }
        return nullptr;
    }
    static void Start(void* data, const XML_Char* tag, const XML_Char** attributes) {
        Guard(data, [&](HiveParser& self) { self.OnStart(tag, attributes); });
    }
    static void End(void* data, const XML_Char*) {
        Guard(data, [](HiveParser& self) { self.OnEnd(); });
    }
    static void Text(void* data, const XML_Char* text, int length) {
        Guard(data, [&](HiveParser& self) {
            if (self.inValue && self.depth == 3) {
                self.value.text.append(text, static_cast<size_t>(length));
            }
        });
    }

    void OnStart(std::string_view name, const XML_Char** attributes) {
        ++depth;
        if (depth == 1) {
            wrongRoot = name != "registry";
        } else if (depth == 2 && name == "key") {
            const char* text = Attribute(attributes, "path");
            std::string path = NormalizeKeyPath(text ? text : "");
            if (!path.empty()) {
                key = &(*hive)[detail::FoldCase(path)];
                if (key->path.empty()) {
                    key->path = std::move(path);
                }
            }
        } else if (depth == 3 && key && name == "value") {
            const char* valueName = Attribute(attributes, "name");
            const char* type = Attribute(attributes, "type");
            if (valueName && type) {
                inValue = true;
                value = Value{valueName, type, std::string()};
            }
        }
    }
    void OnEnd() {
        if (depth == 3 && inValue) {
            inValue = false;
            key->values.insert_or_assign(detail::FoldCase(value.name), std::move(value));
        } else if (depth == 2) {
            key = nullptr;
        }
        --depth;
    }
};

enum class Load { Missing, Unreadable, Loaded, Corrupt };

Load LoadHive(const std::string& path, Hive& hive) {
    std::string data;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return Load::Missing;
    }
    if (!ReadFile(path, data)) {
        return Load::Unreadable;
    }
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) {
        throw std::bad_alloc();
    }
    HiveParser state;
    state.parser = parser;
    state.hive = &hive;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, &HiveParser::Start, &HiveParser::End);
    XML_SetCharacterDataHandler(parser, &HiveParser::Text);
    const bool ok = detail::ParseAll(parser, data);
    XML_ParserFree(parser);
    if (state.failed) {
        throw std::bad_alloc();
    }
    if (!ok || state.wrongRoot) {
        hive.clear();
        return Load::Corrupt;
    }
    return Load::Loaded;
}

// XML 1.0 cannot carry most control characters, not even as references.
bool Representable(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            return false;
        }
    }
    return true;
}

// Escapes as element text and attribute values alike; white space other than the blank is
// written as references, so that attribute normalisation keeps it.
void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                out += c;
        }
    }
}

std::string Serialize(const Hive& hive) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<registry>\n";
    for (const auto& [folded, key] : hive) {
        out += "  <key path=\"";
        AppendEscaped(out, key.path);
        out += "\">\n";
        for (const auto& [foldedName, value] : key.values) {
            out += "    <value name=\"";
            AppendEscaped(out, value.name);
            out += "\" type=\"";
            AppendEscaped(out, value.type);
            out += "\">";
            AppendEscaped(out, value.text);
            out += "</value>\n";
        }
        out += "  </key>\n";
    }
    out += "</registry>\n";
    return out;
}

const Value* Find(const Hive& hive, const std::wstring& key, const std::wstring& name,
                  const char* type) {
    auto k = hive.find(detail::FoldCase(NormalizeKeyPath(detail::ToUtf8(key.c_str()))));
    if (k == hive.end()) {
        return nullptr;
    }
    auto v = k->second.values.find(detail::FoldCase(detail::ToUtf8(name.c_str())));
    if (v == k->second.values.end() || v->second.type != type) {
        return nullptr;
    }
    return &v->second;
}

std::optional<std::string> Read(const std::wstring& key, const std::wstring& name,
                                const char* type) {
    Hive hive;
    const std::string path = Registry::FilePath();
    if (path.empty() || LoadHive(path, hive) != Load::Loaded) {
        return std::nullopt;
    }
    const Value* value = Find(hive, key, name, type);
    return value ? std::optional<std::string>(value->text) : std::nullopt;
}

bool CreateParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// Serialises writers of other processes through an advisory lock beside the file.
class WriteLock {
  public:
    explicit WriteLock(const std::string& path)
        : fd_(open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

  private:
    int fd_;
};

bool Write(const std::wstring& key, const std::wstring& name, const char* type,
           const std::string& text) {
    const std::string keyPath = NormalizeKeyPath(detail::ToUtf8(key.c_str()));
    const std::string valueName = detail::ToUtf8(name.c_str());
    if (keyPath.empty() || !Representable(keyPath) || !Representable(valueName) ||
        !Representable(text)) {
        return false;
    }
    const std::string path = Registry::FilePath();
    if (path.empty() || !CreateParentDirectories(path)) {
        return false;
    }
    WriteLock lock(path);
    Hive hive;
    const Load load = LoadHive(path, hive);
    if (load == Load::Unreadable) {
        return false;
    }
    if (load == Load::Corrupt) {
        // Keep the unreadable file for a person to look at rather than overwrite it; the
        // store starts afresh beside it.
        if (rename(path.c_str(), (path + ".corrupt").c_str()) != 0) {
            return false;
        }
    }
    Key& entry = hive[detail::FoldCase(keyPath)];
    if (entry.path.empty()) {
        entry.path = keyPath;
    }
    Value& value = entry.values[detail::FoldCase(valueName)];
    if (value.name.empty()) {
        value.name = valueName;
    }
    value.type = type;
    value.text = text;
    return WriteFileAtomic(path, Serialize(hive));
}

}  // namespace

std::string Registry::FilePath() {
    try {
        if (const char* file = std::getenv("QMSUPPORT_REGISTRY"); file && *file) {
            return file;
        }
        // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules ask.
        if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
            return std::string(config) + "/qmsupport/registry.xml";
        }
        const char* home = std::getenv("HOME");
        passwd entry;
        passwd* user = nullptr;
        char buffer[4096];
        if ((!home || !*home) && getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &user) == 0 &&
            user) {
            home = user->pw_dir;
        }
        if (home && *home) {
            return std::string(home) + "/.config/qmsupport/registry.xml";
        }
    } catch (const std::exception&) {
    }
    return std::string();
}

std::optional<uint32_t> Registry::ReadDword(const std::wstring& key, const std::wstring& name) {
    try {
        std::optional<std::string> text = Read(key, name, kDword);
        uint32_t value = 0;
        if (!text) {
            return std::nullopt;
        }
        auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (error != std::errc() || end != text->data() + text->size()) {
            return std::nullopt;
        }
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool Registry::WriteDword(const std::wstring& key, const std::wstring& name, uint32_t value) {
    try {
        return Write(key, name, kDword, std::to_string(value));
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<std::wstring> Registry::ReadString(const std::wstring& key,
                                                 const std::wstring& name) {
    try {
        std::optional<std::string> text = Read(key, name, kString);
        return text ? std::optional<std::wstring>(detail::ToWide(*text)) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool Registry::WriteString(const std::wstring& key, const std::wstring& name,
                           const std::wstring& value) {
    try {
        return Write(key, name, kString, detail::ToUtf8(value.c_str()));
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace qm::platform
