#pragma once

#include <qmsupport/export.h>

#include <optional>
#include <string>
#include <vector>

namespace qm::platform {

// The ordered list of resource modules that string, bitmap and icon look-ups walk. A module is
// a directory holding strings.xml (<strings><s id="120">text</s></strings>),
// bitmaps/<id>.bmp or .png, and icons/<id>.png. The library adds its own module when it is
// loaded and removes it when it is unloaded; that module is held in memory and carries no
// resources of its own, so look-ups pass on to the modules a host adds.
class QMSUPPORT_API ResourceChain {
  public:
    // Adds a module at the front of the chain; returns its handle, or -1 when the directory
    // cannot be read or its strings.xml is not well-formed. The directory may be written in
    // the system's form; file names inside it are matched without regard to case.
    static int AddModule(const std::string& directory) noexcept;
    static void RemoveModule(int handle);
    static std::optional<std::wstring> FindString(unsigned int id) noexcept;
    // The native path of the bitmap or icon file, from the first module that has one.
    static std::optional<std::string> FindBitmap(unsigned int id) noexcept;
    static std::optional<std::string> FindIcon(unsigned int id) noexcept;
    static size_t ModuleCount();
};

}  // namespace qm::platform
