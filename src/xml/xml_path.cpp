// Path resolution: "a/b", a leading "/" ignored, and steps "tag?key=value?".

#include "xml/xml_impl.h"

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;
using TagName = XmlNode::TagName;

const XmlNode* Impl::Resolve(const XmlNode& start, std::string_view path) {
    const Store& store = StoreOf(start);
    const XmlNode* node = &start;
    const size_t n = path.size();
    size_t i = 0;
    while (i < n && path[i] == '/') {
        ++i;
    }
    if (i == n) {
        return nullptr;
    }
    for (;;) {
        size_t j = i;
        while (j < n && path[j] != '/' && path[j] != '?') {
            ++j;
        }
        if (j == i) {
            return nullptr;
        }
        const TagName* tag = store.Find(path.substr(i, j - i));
        if (!tag) {
            return nullptr;
        }
        size_t next = j;
        if (j < n && path[j] == '?') {
            // "tag?key=value?": the value ends at the first "?" that closes the step, or
            // runs to the end of the path when the closing mark is missing.
            size_t equals = path.find('=', j + 1);
            if (equals == std::string_view::npos || equals == j + 1) {
                return nullptr;
            }
            const TagName* key = store.Find(path.substr(j + 1, equals - j - 1));
            size_t close = equals + 1;
            while ((close = path.find('?', close)) != std::string_view::npos && close + 1 < n &&
                   path[close + 1] != '/') {
                ++close;
            }
            std::string_view wanted = close == std::string_view::npos
                                          ? path.substr(equals + 1)
                                          : path.substr(equals + 1, close - equals - 1);
            next = close == std::string_view::npos ? n : close + 1;
            const XmlNode* match = nullptr;
            for (auto it = node->ChildsBegin(), end = node->ChildsEnd(); it != end; ++it) {
                if ((*it)->tag_ != tag) {
                    continue;
                }
                const XmlNode* keyNode = key ? FindChild(**it, key) : nullptr;
                std::string_view have = keyNode ? keyNode->ValueUtf8() : std::string_view();
                if (have == wanted) {
                    match = *it;
                    break;
                }
            }
            node = match;
        } else {
            node = FindChild(*node, tag);
        }
        if (!node || next >= n) {
            return node;
        }
        i = next + 1;  // past the "/"
        if (i >= n) {
            return node;
        }
    }
}
