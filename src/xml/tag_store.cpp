// The interned tags of a document: an open-addressing table over names kept in a pool.

#include "xml/xml_impl.h"

#include <cstdint>
#include <new>
#include <vector>

using TagName = XmlDocument::XmlNode::TagName;

namespace {

uint32_t HashOf(std::string_view text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) {
        h = (h ^ c) * 16777619u;
    }
    return h;
}

}  // namespace

XmlDocument::Store::Store() : table(64, nullptr) {
    Intern({}, false);
}

const TagName* XmlDocument::Store::Find(std::string_view text) const {
    uint32_t hash = HashOf(text);
    size_t mask = table.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const TagName* tag = table[i];
        if (!tag) {
            return nullptr;
        }
        if (tag->hash == hash && tag->Text() == text) {
            return tag;
        }
    }
}

const TagName* XmlDocument::Store::Intern(std::string_view text, bool knownValid) {
    if (const TagName* found = Find(text)) {
        return found;
    }
    if (text.size() > UINT32_MAX - sizeof(TagName) - 1) {
        throw std::bad_alloc();
    }
    if ((tagCount + 1) * 2 > table.size()) {
        std::vector<const TagName*> larger(table.size() * 2, nullptr);
        size_t mask = larger.size() - 1;
        for (const TagName* tag : table) {
            if (tag) {
                size_t i = tag->hash & mask;
                while (larger[i]) {
                    i = (i + 1) & mask;
                }
                larger[i] = tag;
            }
        }
        table.swap(larger);
    }
    auto* tag = static_cast<TagName*>(names.Allocate(sizeof(TagName) + text.size() + 1));
    tag->length = static_cast<uint32_t>(text.size());
    tag->hash = HashOf(text);
    tag->validName = knownValid || qm::xml::IsXmlName(text);
    char* chars = reinterpret_cast<char*>(tag + 1);
    text.copy(chars, text.size());
    chars[text.size()] = '\0';
    size_t mask = table.size() - 1;
    size_t i = tag->hash & mask;
    while (table[i]) {
        i = (i + 1) & mask;
    }
    table[i] = tag;
    ++tagCount;
    return tag;
}
