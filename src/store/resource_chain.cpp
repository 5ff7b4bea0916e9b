#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/store/resource_chain.h>
#include <qmsupport/xml/xml_document.h>

#include "platform/path_rules.h"
#include "toolsapi/no_throw.h"

#include <sys/stat.h>

#include <charconv>
#include <map>
#include <mutex>

namespace qm::platform {
namespace {

struct Module {
    int handle = 0;
    std::string directory;  // native, ending in "/"; empty for a module held in memory
    std::map<unsigned int, std::wstring> strings;
};

struct Chain {
    std::mutex mutex;
    std::vector<Module> modules;  // front first
    int nextHandle = 1;
};

// Never destroyed: the library's unload hook may run after static destructors.
Chain& TheChain() {
    static Chain* chain = new Chain;
    return *chain;
}

// Reads the module's strings.xml, <s id="N">text</s> entries below the root; a missing file
// is an empty table, a malformed one fails.
bool LoadStrings(const std::string& directory, std::map<unsigned int, std::wstring>& strings) {
    const std::string path = NativePath(directory + "strings.xml");
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return true;
    }
    std::string data;
    XmlDocument document;
    if (!ReadFile(path, data) || !document.Parse(data.data(), data.size())) {
        return false;
    }
    const XmlDocument::XmlNode& root = document.Root();
    for (auto it = root.ChildsBegin(), end = root.ChildsEnd(); it != end; ++it) {
        const XmlDocument::XmlNode& entry = **it;
        const XmlDocument::XmlNode* key = entry.NodeUtf8("id");
        if (entry.IsKey() || entry.TagUtf8() != "s" || !key) {
            continue;
        }
        const std::string_view text = key->ValueUtf8();
        unsigned int id = 0;
        auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), id);
        if (error == std::errc() && last == text.data() + text.size()) {
            strings.emplace(id, qm::Wide(entry.ValueUtf8()).str());
        }
    }
    return true;
}

// The native path of `subdirectory/<id><extension>` in the first module that has it.
std::optional<std::string> FindFile(unsigned int id, const char* subdirectory,
                                    std::initializer_list<const char*> extensions) {
    Chain& chain = TheChain();
    std::lock_guard lock(chain.mutex);
    for (const Module& module : chain.modules) {
        if (module.directory.empty()) {
            continue;
        }
        for (const char* extension : extensions) {
            std::string path =
                NativePath(module.directory + subdirectory + "/" + std::to_string(id) + extension);
            struct stat st;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                return path;
            }
        }
    }
    return std::nullopt;
}

int AddLoadedModule(Module module) {
    Chain& chain = TheChain();
    std::lock_guard lock(chain.mutex);
    module.handle = chain.nextHandle++;
    chain.modules.insert(chain.modules.begin(), std::move(module));
    return chain.modules.front().handle;
}

// The library's own module. It carries no resources yet; it holds its place in the chain
// from load to unload as the host expects of an extension module.
int libraryModule = -1;

__attribute__((constructor)) void JoinResourceChain() {
    libraryModule = qm::detail::NoThrow(-1, [] { return AddLoadedModule(Module()); });
}

__attribute__((destructor)) void LeaveResourceChain() {
    ResourceChain::RemoveModule(libraryModule);
}

}  // namespace

int ResourceChain::AddModule(const std::string& directory) noexcept {
    return qm::detail::NoThrow(-1, [&] {
        Module module;
        module.directory = NativePath(directory);
        if (module.directory.empty()) {
            return -1;
        }
        if (module.directory.back() != '/') {
            module.directory += '/';
        }
        struct stat st;
        if (stat(module.directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            !LoadStrings(module.directory, module.strings)) {
            return -1;
        }
        return AddLoadedModule(std::move(module));
    });
}

void ResourceChain::RemoveModule(int handle) {
    Chain& chain = TheChain();
    std::lock_guard lock(chain.mutex);
    std::erase_if(chain.modules, [handle](const Module& m) { return m.handle == handle; });
}

std::optional<std::wstring> ResourceChain::FindString(unsigned int id) noexcept {
    return qm::detail::NoThrow(std::nullopt, [&]() -> std::optional<std::wstring> {
        Chain& chain = TheChain();
        std::lock_guard lock(chain.mutex);
        for (const Module& module : chain.modules) {
            auto found = module.strings.find(id);
            if (found != module.strings.end()) {
                return found->second;
            }
        }
        return std::nullopt;
    });
}

std::optional<std::string> ResourceChain::FindBitmap(unsigned int id) noexcept {
    return qm::detail::NoThrow(std::nullopt, [&] {
        return FindFile(id, "bitmaps", {".bmp", ".png"});
    });
}

std::optional<std::string> ResourceChain::FindIcon(unsigned int id) noexcept {
    return qm::detail::NoThrow(std::nullopt, [&] { return FindFile(id, "icons", {".png"}); });
}

size_t ResourceChain::ModuleCount() {
    Chain& chain = TheChain();
    std::lock_guard lock(chain.mutex);
    return chain.modules.size();
}

}  // namespace qm::platform
