#pragma once

// Feeding whole buffers to expat, for the platform area's small XML files.

#include <expat.h>

#include <algorithm>
#include <string_view>

namespace qm::platform::detail {

// Parses all of `data` as one document; expat takes int lengths, so a large buffer goes in
// pieces.
inline bool ParseAll(XML_Parser parser, std::string_view data) {
    do {
        size_t n = std::min<size_t>(data.size(), size_t{1} << 30);
        if (XML_Parse(parser, data.data(), static_cast<int>(n), n == data.size()) !=
            XML_STATUS_OK) {
            return false;
        }
        data.remove_prefix(n);
    } while (!data.empty());
    return true;
}

}  // namespace qm::platform::detail
