// XmlNode's public interface over the tree operations of Impl.

#include "toolsapi/no_throw.h"
#include "xml/xml_impl.h"

#include <qmsupport/toolsapi/codecs.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;
using TagName = XmlNode::TagName;
using ChildList = XmlNode::ChildList;
using qm::xml::Pool;

namespace {

bool IsOneOf(wchar_t c, std::wstring_view set) {
    return set.find(c) != std::wstring_view::npos;
}

// A path format in the system's wide printf dialect, where "%s" and "%c" take wide text and
// "%hs", "%hc", "%S" and "%C" narrow text, rewritten for the C library's wide printf, where
// an unmarked "%s" or "%c" is narrow.
std::wstring ToLibraryFormat(std::wstring_view format) {
    std::wstring out;
    out.reserve(format.size() + 8);
    for (size_t i = 0; i < format.size();) {
        wchar_t c = format[i++];
        out += c;
        if (c != L'%') {
            continue;
        }
        // Flags, width and precision pass unchanged.
        while (i < format.size() && IsOneOf(format[i], L"-+ #0'123456789.*")) {
            out += format[i++];
        }
        size_t length = i;
        while (i < format.size() && IsOneOf(format[i], L"hlLqjzt")) {
            ++i;
        }
        if (i == format.size()) {
            out.append(format.substr(length));
            break;
        }
        std::wstring_view modifier = format.substr(length, i - length);
        wchar_t conversion = format[i++];
        if (conversion == L's' || conversion == L'c') {
            out += modifier == L"h" ? L"" : L"l";
        } else if (conversion == L'S' || conversion == L'C') {
            conversion = conversion == L'S' ? L's' : L'c';
        } else {
            out.append(modifier);
        }
        out += conversion;
    }
    return out;
}

}  // namespace

// ---- XmlNode ----

XmlNode::XmlNode(Internal, XmlDocument* document, const TagName* tag, uintptr_t flags)
    : document_(document), up_(flags | Impl::kInside), tag_(tag), value_{}, children_(nullptr) {}

XmlNode::XmlNode(XmlDocument* document, const wchar_t* tag, int /*index*/)
    : document_(document),
      up_(Impl::kSide | Impl::kInside),
      tag_(nullptr),
      value_{},
      children_(nullptr) {
    Store& store = Impl::StoreOf(*this);
    tag_ = qm::detail::NoThrow(store.Find({}), [&] { return store.Intern(qm::Utf8(tag), false); });
}

XmlNode::~XmlNode() {
    // Only detached nodes made by the public constructor run their destructor; the nodes of a
    // tree are given back with their pool.
    if (up_ & Impl::kSide) {
        Impl::ReleaseContent(Impl::PoolOf(*this), *this);
    }
}

XmlNode& XmlNode::operator=(const XmlNode& other) noexcept {
    if (&other == this) {
        return *this;
    }
    // Out of memory leaves the node as it was: only the copy can fail, and it cleans up after
    // itself.
    Pool& pool = Impl::PoolOf(*this);
    qm::detail::NoThrow([&] {
        XmlNode* copy = Impl::Copy(pool, Impl::StoreOf(*this), document_, up_ & Impl::kSide, other);
        Impl::ReleaseContent(pool, *this);
        children_ = copy->children_;
        copy->children_ = nullptr;
        for (auto it = ChildsBegin(), end = ChildsEnd(); it != end; ++it) {
            (*it)->up_ = reinterpret_cast<uintptr_t>(this) | ((*it)->up_ & Impl::kFlags);
        }
        value_ = copy->value_;
        up_ = (up_ & ~Impl::kInside) | (copy->up_ & Impl::kInside);
        copy->value_ = {};
        copy->up_ |= Impl::kInside;
        pool.Release(copy, sizeof(XmlNode));
    });
    return *this;
}

QMWideString XmlNode::Tag() const {
    return qm::Wide(TagUtf8());
}

QMWideString XmlNode::Value() const {
    return qm::Wide(ValueUtf8());
}

QMWideString XmlNode::Value(const wchar_t* path, const wchar_t* def) const {
    const XmlNode* node = Node(path);
    return node ? node->Value() : QMWideString(def);
}

void XmlNode::SetValue(const wchar_t* text) noexcept {
    qm::detail::NoThrow([&] { SetValueUtf8(qm::Utf8(text)); });
}

void XmlNode::SetValue(const wchar_t* key, const wchar_t* value) noexcept {
    qm::detail::NoThrow([&] { SetValueUtf8(qm::Utf8(key), qm::Utf8(value)); });
}

std::string_view XmlNode::TagUtf8() const noexcept {
    return tag_->Text();
}

std::string_view XmlNode::ValueUtf8() const noexcept {
    if (up_ & Impl::kInside) {
        return {value_.inside, ::strnlen(value_.inside, sizeof value_.inside)};
    }
    return {value_.pointer, qm::xml::OutsideLength(value_.pointer)};
}

void XmlNode::SetValueUtf8(std::string_view text) noexcept {
    qm::detail::NoThrow([&] { Impl::SetText(Impl::PoolOf(*this), *this, text); });
}

void XmlNode::SetValueUtf8(std::string_view key, std::string_view value) noexcept {
    Store& store = Impl::StoreOf(*this);
    Pool& pool = Impl::PoolOf(*this);
    XmlNode* node = nullptr;
    try {
        const XmlNode::TagName* tag = store.Find(key);
        if (XmlNode* existing = tag ? Impl::FindChild(*this, tag) : nullptr) {
            Impl::SetText(pool, *existing, value);
            return;
        }
        tag = store.Intern(key, false);
        node = Impl::NewNode(pool, document_, tag, Impl::kKey | (up_ & Impl::kSide));
        Impl::SetText(pool, *node, value);
        Impl::Link(*this, node);
    } catch (...) {
        // A new key that could not be linked goes back to the pool.
        if (node) {
            Impl::ReleaseNode(pool, node);
        }
    }
}

XmlNode* XmlNode::NodeUtf8(std::string_view path) noexcept {
    return const_cast<XmlNode*>(Impl::Resolve(*this, path));
}

const XmlNode* XmlNode::NodeUtf8(std::string_view path) const noexcept {
    return Impl::Resolve(*this, path);
}

XmlNode* XmlNode::Node(const wchar_t* path) noexcept {
    return qm::detail::NoThrow(nullptr, [&] { return NodeUtf8(qm::Utf8(path)); });
}

const XmlNode* XmlNode::Node(const wchar_t* path) const noexcept {
    return qm::detail::NoThrow(nullptr, [&] { return NodeUtf8(qm::Utf8(path)); });
}

XmlNode* XmlNode::NodeV(const wchar_t* format, ...) noexcept {
    if (!format) {
        return nullptr;
    }
    va_list args;
    va_start(args, format);
    XmlNode* node = qm::detail::NoThrow(nullptr, [&] {
        QMWideString path;
        path.FormatV(ToLibraryFormat(format).c_str(), args);
        return path.IsEmpty() ? nullptr : Node(path.c_str());
    });
    va_end(args);
    return node;
}

XmlNode* XmlNode::NewChild(const wchar_t* tag) noexcept {
    Pool& pool = Impl::PoolOf(*this);
    XmlNode* node = nullptr;
    try {
        const XmlNode::TagName* interned = Impl::StoreOf(*this).Intern(qm::Utf8(tag), false);
        node = Impl::NewNode(pool, document_, interned, up_ & Impl::kSide);
        Impl::Link(*this, node);
        return node;
    } catch (...) {
        // A new child that could not be linked goes back to the pool.
        if (node) {
            Impl::ReleaseNode(pool, node);
        }
        return nullptr;
    }
}

XmlNode* XmlNode::AddChild(const XmlNode& source) noexcept {
    Pool& pool = Impl::PoolOf(*this);
    XmlNode* copy = nullptr;
    try {
        copy = Impl::Copy(pool, Impl::StoreOf(*this), document_, up_ & Impl::kSide, source);
        Impl::Link(*this, copy);
        return copy;
    } catch (...) {
        // A copy that could not be linked goes back to the pool.
        if (copy) {
            Impl::ReleaseNode(pool, copy);
        }
        return nullptr;
    }
}

bool XmlNode::RemoveChild(XmlNode* node) noexcept {
    if (!node || Impl::ParentOf(*node) != this || !children_) {
        return false;
    }
    XmlNode** items = children_->Items();
    uint32_t size = children_->size;
    for (uint32_t i = 0; i < size; ++i) {
        if (items[i] == node) {
            std::memmove(items + i, items + i + 1, (size - i - 1) * sizeof(XmlNode*));
            --children_->size;
            Impl::ReleaseNode(Impl::PoolOf(*this), node);
            return true;
        }
    }
    return false;
}

bool XmlNode::Erase(const wchar_t* key) noexcept {
    return qm::detail::NoThrow(false, [&] {
        const XmlNode::TagName* tag = Impl::StoreOf(*this).Find(qm::Utf8(key));
        return tag && RemoveChild(Impl::FindChild(*this, tag));
    });
}

bool XmlNode::EraseTag(const wchar_t* key) noexcept {
    return Erase(key);
}

XmlNode::ChildIterator XmlNode::ChildsBegin() const noexcept {
    return children_ ? children_->Items() : nullptr;
}

XmlNode::ChildIterator XmlNode::ChildsEnd() const noexcept {
    return children_ ? children_->Items() + children_->size : nullptr;
}

size_t XmlNode::Size() const noexcept {
    return children_ ? children_->size : 0;
}

XmlDocument* XmlNode::Document() const noexcept {
    return document_;
}

XmlNode* XmlNode::Parent() const noexcept {
    return Impl::ParentOf(*this);
}

bool XmlNode::IsKey() const noexcept {
    return (up_ & Impl::kKey) != 0;
}
