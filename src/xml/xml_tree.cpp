// The operations on the tree behind XmlDocument's node API, the parser and the writer:
// making, linking, copying and giving back nodes, their texts and their child lists.

#include "xml/xml_impl.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;
using TagName = XmlNode::TagName;
using ChildList = XmlNode::ChildList;
using qm::xml::Pool;

XmlDocument::Store& Impl::StoreOf(const XmlNode& node) {
    if (node.document_) {
        return *node.document_->store_;
    }
    // Detached nodes made without a document keep their subtree here.
    thread_local Store orphans;
    return orphans;
}

XmlNode* Impl::NewNode(Pool& pool, XmlDocument* document, const TagName* tag, uintptr_t flags) {
    void* block = pool.Allocate(sizeof(XmlNode));
    return new (block) XmlNode(XmlNode::Internal{}, document, tag, flags);
}

namespace {

// A text longer than seven bytes (or holding a NUL) is stored as its length, the bytes and
// a NUL; the node points at the bytes.
constexpr size_t kInsideLimit = 7;

size_t OutsideBytes(size_t length) {
    return sizeof(uint32_t) + length + 1;
}

void ReleaseText(Pool& pool, uintptr_t up, const char* pointer) {
    if (!(up & Impl::kInside)) {
        pool.Release(const_cast<char*>(pointer) - sizeof(uint32_t),
                     OutsideBytes(qm::xml::OutsideLength(pointer)));
    }
}

}  // namespace

void Impl::SetText(Pool& pool, XmlNode& node, std::string_view text) {
    // The new text is built before the old one goes, as it may be a view of the old one.
    bool inside = text.size() <= kInsideLimit && text.find('\0') == std::string_view::npos;
    decltype(node.value_) value{};
    if (inside) {
        text.copy(value.inside, text.size());
    } else {
        if (text.size() > UINT32_MAX - 8) {
            throw std::bad_alloc();
        }
        char* block = static_cast<char*>(pool.Allocate(OutsideBytes(text.size())));
        auto length = static_cast<uint32_t>(text.size());
        std::memcpy(block, &length, sizeof length);
        text.copy(block + sizeof length, text.size());
        block[sizeof length + text.size()] = '\0';
        value.pointer = block + sizeof length;
    }
    ReleaseText(pool, node.up_, node.value_.pointer);
    node.value_ = value;
    node.up_ = inside ? (node.up_ | kInside) : (node.up_ & ~kInside);
}

void Impl::Link(XmlNode& parent, XmlNode* child) {
    Pool& pool = PoolOf(parent);
    ChildList* list = parent.children_;
    if (!list || list->size == list->capacity) {
        uint32_t capacity = list ? list->capacity * 2 : 4;
        if (list && list->capacity > UINT32_MAX / 4) {
            throw std::bad_alloc();
        }
        auto* larger = static_cast<ChildList*>(pool.Allocate(ChildList::Bytes(capacity)));
        larger->capacity = capacity;
        larger->size = 0;
        if (list) {
            std::memcpy(larger->Items(), list->Items(), list->size * sizeof(XmlNode*));
            larger->size = list->size;
            pool.Release(list, ChildList::Bytes(list->capacity));
        }
        parent.children_ = list = larger;
    }
    list->Items()[list->size++] = child;
    child->up_ = reinterpret_cast<uintptr_t>(&parent) | (child->up_ & kFlags);
}

void Impl::SetChildren(Pool& pool, XmlNode& node, XmlNode* const* items, size_t count) {
    if (count == 0) {
        return;
    }
    if (count > UINT32_MAX / 4) {
        throw std::bad_alloc();
    }
    auto* list =
        static_cast<ChildList*>(pool.Allocate(ChildList::Bytes(static_cast<uint32_t>(count))));
    list->size = list->capacity = static_cast<uint32_t>(count);
    std::memcpy(list->Items(), items, count * sizeof(XmlNode*));
    node.children_ = list;
}

void Impl::ReleaseContent(Pool& pool, XmlNode& top) {
    // Walks down to the last child again and again and frees on the way up, so that the
    // depth of the tree costs no stack.
    XmlNode* node = &top;
    for (;;) {
        ChildList* list = node->children_;
        if (list && list->size > 0) {
            node = list->Items()[--list->size];
            continue;
        }
        if (list) {
            pool.Release(list, ChildList::Bytes(list->capacity));
            node->children_ = nullptr;
        }
        if (node == &top) {
            break;
        }
        XmlNode* parent = ParentOf(*node);
        ReleaseText(pool, node->up_, node->value_.pointer);
        pool.Release(node, sizeof(XmlNode));
        node = parent;
    }
    ReleaseText(pool, top.up_, top.value_.pointer);
    top.value_ = {};
    top.up_ |= kInside;
}

void Impl::ReleaseNode(Pool& pool, XmlNode* node) {
    ReleaseContent(pool, *node);
    pool.Release(node, sizeof(XmlNode));
}

XmlNode* Impl::FindChild(const XmlNode& node, const TagName* tag) {
    for (auto it = node.ChildsBegin(), end = node.ChildsEnd(); it != end; ++it) {
        if ((*it)->tag_ == tag) {
            return *it;
        }
    }
    return nullptr;
}

XmlNode* Impl::Copy(Pool& pool, Store& store, XmlDocument* document, uintptr_t sideFlag,
                    const XmlNode& source) {
    const Store& from = StoreOf(source);
    auto tagFor = [&](const TagName* tag) {
        return &from == &store ? tag : store.Intern(tag->Text(), tag->validName != 0);
    };
    XmlNode* top = NewNode(pool, document, tagFor(source.tag_), (source.up_ & kKey) | sideFlag);
    try {
        SetText(pool, *top, source.ValueUtf8());
        // Pairs of a source node and its copy whose children are still to be copied.
        std::vector<std::pair<const XmlNode*, XmlNode*>> pending{{&source, top}};
        while (!pending.empty()) {
            auto [from_node, to_node] = pending.back();
            pending.pop_back();
            auto count = static_cast<uint32_t>(from_node->Size());
            if (count == 0) {
                continue;
            }
            auto* list = static_cast<ChildList*>(pool.Allocate(ChildList::Bytes(count)));
            list->capacity = count;
            list->size = 0;
            to_node->children_ = list;
            for (auto it = from_node->ChildsBegin(), end = from_node->ChildsEnd(); it != end;
                 ++it) {
                const XmlNode& child = **it;
                XmlNode* copy =
                    NewNode(pool, document, tagFor(child.tag_), (child.up_ & kKey) | sideFlag);
                copy->up_ |= reinterpret_cast<uintptr_t>(to_node);
                // Linked at once, so that a failure below frees it with the rest.
                list->Items()[list->size++] = copy;
                SetText(pool, *copy, child.ValueUtf8());
                if (child.children_ && child.children_->size > 0) {
                    pending.emplace_back(&child, copy);
                }
            }
        }
    } catch (...) {
        // A half-made copy goes back to the pool before the caller hears of the failure.
        ReleaseNode(pool, top);
        throw;
    }
    return top;
}
