#pragma once

#include <qmsupport/export.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qm::platform {

// A small persistent stand-in for the user's registry hive, kept in one XML file:
// $QMSUPPORT_REGISTRY, else $XDG_CONFIG_HOME/qmsupport/registry.xml, else
// ~/.config/qmsupport/registry.xml. Every write rewrites the file atomically, under an
// advisory lock (the file's name + ".lock") against writers in other processes.
//
// Key paths and value names are matched without regard to case; empty components of a key
// path are ignored. A value read with the other type is absent. A file that cannot be parsed
// reads as empty; the next write moves it aside to the file's name + ".corrupt" and starts a
// new one. Texts holding control characters other than tab, line feed and carriage return
// cannot be stored (the write returns false).
class QMSUPPORT_API Registry {
  public:
    // The file in use, from the environment at the time of the call.
    [[nodiscard]] static std::string FilePath() noexcept;
    // Reads a 32-bit value of `key` (backslash-separated, below the user's hive).
    [[nodiscard]] static std::optional<uint32_t> ReadDword(const std::wstring& key,
                                                           const std::wstring& name) noexcept;
    [[nodiscard]] static bool WriteDword(const std::wstring& key, const std::wstring& name,
                                         uint32_t value) noexcept;
    [[nodiscard]] static std::optional<std::wstring> ReadString(const std::wstring& key,
                                                                const std::wstring& name) noexcept;
    [[nodiscard]] static bool WriteString(const std::wstring& key, const std::wstring& name,
                                          const std::wstring& value) noexcept;
};

}  // namespace qm::platform
