#pragma once

// Shared pieces of the installation service: its internal failure type and path helpers.
// A Failure never leaves the library: each entry point turns it into a Result.

#include <qmsupport/install/migration_result.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/codecs.h>

#include "platform/inside.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace qm::install {

namespace fs = std::filesystem;

// A failure that stops the run; its text is the whole message shown to the user.
struct Failure : std::runtime_error {
    explicit Failure(const std::string& message, Status status = Status::Failed)
        : std::runtime_error(message), status(status) {}
    Status status;
};

// A failure of a check made before anything was changed.
inline Failure Refusal(const std::string& message) {
    return Failure(message, Status::Refused);
}

using qm::platform::IsInside;

// The message of the current errno, for "cannot ...: <reason>" texts.
std::string ErrnoText();

// The current time in UTC, as 20260131T120000Z for names, or 2026-01-31T12:00:00Z for reports.
std::string Timestamp();
std::string IsoTime();

using qm::Utf8;
using qm::Wide;

}  // namespace qm::install
