#include "install/install_common.h"

#include <qmsupport/toolsapi/codecs.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace qm::install {

std::string ErrnoText() {
    return std::strerror(errno);
}

namespace {
// The current time in UTC, as text of at most 31 characters. The two formats are written out
// in their callers, so that the compiler checks them.
struct UtcText {
    std::tm utc{};
    char text[32] = {};
    UtcText() {
        const std::time_t now = std::time(nullptr);
        gmtime_r(&now, &utc);
    }
};
}  // namespace

std::string Timestamp() {
    UtcText now;
    std::strftime(now.text, sizeof now.text, "%Y%m%dT%H%M%SZ", &now.utc);
    return now.text;
}

std::string IsoTime() {
    UtcText now;
    std::strftime(now.text, sizeof now.text, "%Y-%m-%dT%H:%M:%SZ", &now.utc);
    return now.text;
}

const char* Result::Description() const {
    switch (status) {
        case Status::Done:
            return "done";
        case Status::NothingToDo:
            return "nothing to do";
        case Status::Refused:
            return "refused";
        case Status::Failed:
            return "failed";
        case Status::Interrupted:
            return "interrupted";
    }
    return "unknown";
}

}  // namespace qm::install
