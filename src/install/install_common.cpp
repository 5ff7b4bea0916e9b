#include "install/install_common.h"

#include <qmsupport/toolsapi/codecs.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace qm::install {

bool IsInside(const fs::path& path, const fs::path& root) {
    const fs::path relative = path.lexically_normal().lexically_relative(root.lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
}

std::string ErrnoText() {
    return std::strerror(errno);
}

void SyncDirectory(const fs::path& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

namespace {
std::string UtcNow(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}
}  // namespace

std::string Timestamp() {
    return UtcNow("%Y%m%dT%H%M%SZ");
}

std::string IsoTime() {
    return UtcNow("%Y-%m-%dT%H:%M:%SZ");
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
