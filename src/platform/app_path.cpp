#include <qmsupport/platform/app_path.h>

#include <mutex>

namespace qm::platform {
namespace {

std::mutex& AppPathMutex() {
    static std::mutex mutex;
    return mutex;
}

QMWideString& AppPathValue() {
    static QMWideString path;
    return path;
}

}  // namespace

void SetAppPath(const QMWideString& path) {
    std::lock_guard<std::mutex> lock(AppPathMutex());
    AppPathValue() = path;
}

QMWideString AppPathOverride() {
    std::lock_guard<std::mutex> lock(AppPathMutex());
    return AppPathValue();
}

}  // namespace qm::platform
