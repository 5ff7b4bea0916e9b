#include <qmsupport/platform/file_lock.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/store/registry.h>
#include <qmsupport/xml/xml_document.h>

#include "platform/path_rules.h"
#include "toolsapi/no_throw.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>

// The file holds one element per key, with its full path, and the key's values below it:
//
//   <registry>
//     <key path="Software\Vendor\Product">
//       <value name="Runtime" type="dword">1</value>
//       <value name="Title" type="string">text</value>
//     </key>
//   </registry>
//
// Key paths and value names are matched without regard to case, as the Windows registry does;
// where a hand-edited file spells one key or value twice, the first counts.

namespace qm::platform {
namespace {

using XmlNode = XmlDocument::XmlNode;

constexpr const char* kDword = "dword";
constexpr const char* kString = "string";

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

// The first child element of `parent` tagged `tag` whose key `keyName` satisfies `match`.
template <class Match>
XmlNode* FindChild(const XmlNode& parent, std::string_view tag, std::string_view keyName,
                   Match match) {
    for (auto it = parent.ChildsBegin(), end = parent.ChildsEnd(); it != end; ++it) {
        XmlNode* child = *it;
        if (!child->IsKey() && child->TagUtf8() == tag) {
            const XmlNode* key = child->NodeUtf8(keyName);
            if (key && match(key->ValueUtf8())) {
                return child;
            }
        }
    }
    return nullptr;
}

// `keyPath` is normalised; a path in the file is normalised before it is compared.
XmlNode* FindKey(const XmlNode& root, std::string_view keyPath) {
    if (keyPath.empty()) {
        return nullptr;
    }
    const std::u32string folded = detail::FoldCase(keyPath);
    return FindChild(root, "key", "path", [&](std::string_view path) {
        return detail::FoldCase(NormalizeKeyPath(path)) == folded;
    });
}

XmlNode* FindValue(const XmlNode& key, std::string_view name) {
    const std::u32string folded = detail::FoldCase(name);
    return FindChild(key, "value", "name",
                     [&](std::string_view text) { return detail::FoldCase(text) == folded; });
}

// The element of value `name` in key `keyPath` when it has type `type`, else null.
const XmlNode* Find(const XmlNode& root, std::string_view keyPath, std::string_view name,
                    std::string_view type) {
    const XmlNode* key = FindKey(root, keyPath);
    const XmlNode* value = key ? FindValue(*key, name) : nullptr;
    const XmlNode* valueType = value ? value->NodeUtf8("type") : nullptr;
    return valueType && valueType->ValueUtf8() == type ? value : nullptr;
}

enum class Load { Missing, Unreadable, Loaded, Corrupt };

// The path is native and exact, so the bytes are read here rather than through Load.
Load LoadHive(const std::string& path, XmlDocument& hive) {
    std::string data;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return Load::Missing;
    }
    if (!ReadFile(path, data)) {
        return Load::Unreadable;
    }
    if (!hive.Parse(data.data(), data.size()) || hive.Root().TagUtf8() != "registry") {
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

std::optional<std::string> Read(const std::wstring& key, const std::wstring& name,
                                const char* type) {
    XmlDocument hive;
    const std::string path = Registry::FilePath();
    if (path.empty() || LoadHive(path, hive) != Load::Loaded) {
        return std::nullopt;
    }
    const XmlNode* value =
        Find(hive.Root(), NormalizeKeyPath(qm::Utf8(key.c_str())), qm::Utf8(name.c_str()), type);
    return value ? std::optional<std::string>(value->ValueUtf8()) : std::nullopt;
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

bool Write(const std::wstring& key, const std::wstring& name, const char* type,
           const std::string& text) {
    const std::string keyPath = NormalizeKeyPath(qm::Utf8(key.c_str()));
    const std::string valueName = qm::Utf8(name.c_str());
    if (keyPath.empty() || !Representable(keyPath) || !Representable(valueName) ||
        !Representable(text)) {
        return false;
    }
    const std::string path = Registry::FilePath();
    if (path.empty() || !CreateParentDirectories(path)) {
        return false;
    }
    // Serialises writers of other processes; without the lock the write goes on all the same.
    const qm::platform::FileLock lock(path + ".lock", qm::platform::FileLock::Mode::Wait, 0600);
    XmlDocument hive;
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
    if (load != Load::Loaded && !hive.Create(L"registry")) {
        return false;
    }
    XmlNode* entry = FindKey(hive.Root(), keyPath);
    if (!entry && (entry = hive.Root().NewChild(L"key"))) {
        entry->SetValueUtf8("path", keyPath);
    }
    XmlNode* value = entry ? FindValue(*entry, valueName) : nullptr;
    if (entry && !value && (value = entry->NewChild(L"value"))) {
        value->SetValueUtf8("name", valueName);
    }
    if (!value) {
        return false;
    }
    value->SetValueUtf8("type", type);
    value->SetValueUtf8(text);
    // The setters give up quietly when memory runs out: write only a tree that holds the value.
    const XmlNode* written = Find(hive.Root(), keyPath, valueName, type);
    QMNarrowString xml;
    return written && written->ValueUtf8() == text && hive.CreateXmlCode(xml) &&
           WriteFileAtomic(path, xml.view());
}

}  // namespace

std::string Registry::FilePath() noexcept {
    return qm::detail::NoThrow(std::string(), []() -> std::string {
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
        return std::string();
    });
}

std::optional<uint32_t> Registry::ReadDword(const std::wstring& key,
                                            const std::wstring& name) noexcept {
    return qm::detail::NoThrow(std::nullopt, [&]() -> std::optional<uint32_t> {
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
    });
}

bool Registry::WriteDword(const std::wstring& key, const std::wstring& name,
                          uint32_t value) noexcept {
    return qm::detail::NoThrow(false,
                               [&] { return Write(key, name, kDword, std::to_string(value)); });
}

std::optional<std::wstring> Registry::ReadString(const std::wstring& key,
                                                 const std::wstring& name) noexcept {
    return qm::detail::NoThrow(std::nullopt, [&]() -> std::optional<std::wstring> {
        std::optional<std::string> text = Read(key, name, kString);
        return text ? std::optional<std::wstring>(qm::Wide(*text).str()) : std::nullopt;
    });
}

bool Registry::WriteString(const std::wstring& key, const std::wstring& name,
                           const std::wstring& value) noexcept {
    return qm::detail::NoThrow(false,
                               [&] { return Write(key, name, kString, qm::Utf8(value.c_str())); });
}

}  // namespace qm::platform
