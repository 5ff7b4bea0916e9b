#pragma once

// Shared pieces of the migrate27 subcommand: its error type and path helpers.

#include "text_output.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace migrate27 {

namespace fs = std::filesystem;

// A failure that stops the run; its text is the whole message shown to the user.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Whether `path` is `root` or lies below it, compared component by component on lexically
// normal absolute paths.
bool IsInside(const fs::path& path, const fs::path& root);

// The message of the current errno, for "cannot ...: <reason>" texts.
std::string ErrnoText();

// Flushes a directory's entries to disk, so that renames in it survive a power loss.
void SyncDirectory(const fs::path& directory);

}  // namespace migrate27
