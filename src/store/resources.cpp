#include <qmsupport/store/resources.h>

#include <qmsupport/store/resource_chain.h>

#include "toolsapi/no_throw.h"

#include <optional>
#include <string>

bool QMLoadString(unsigned int id, QMWideString& out) noexcept {
    out.Clear();
    const bool found = qm::detail::NoThrow(false, [&] {
        std::optional<std::wstring> text = qm::platform::ResourceChain::FindString(id);
        if (!text) {
            return false;
        }
        out = QMWideString(std::move(*text));
        return true;
    });
    if (!found) {
        out.Clear();
    }
    return found;
}
