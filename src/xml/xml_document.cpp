#include "toolsapi/no_throw.h"
#include "xml/xml_impl.h"

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/codecs.h>

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;
using TagName = XmlNode::TagName;
using ChildList = XmlNode::ChildList;
using qm::xml::Pool;

// ---- Pool ----

void* Pool::Allocate(size_t size) {
    size = size == 0 ? kGrain : (size + kGrain - 1) & ~(kGrain - 1);
    if (size <= kSmallLimit) {
        void*& head = free_[size / kGrain];
        if (head) {
            void* block = head;
            head = *static_cast<void**>(block);
            return block;
        }
        return AllocateFromChunk(size);
    }
    if (size > SIZE_MAX - sizeof(Large)) {
        throw std::bad_alloc();
    }
    auto* large = static_cast<Large*>(std::malloc(sizeof(Large) + size));
    if (!large) {
        throw std::bad_alloc();
    }
    large->previous = nullptr;
    large->next = large_;
    if (large_) {
        large_->previous = large;
    }
    large_ = large;
    return large + 1;
}

void* Pool::AllocateFromChunk(size_t size) {
    if (static_cast<size_t>(end_ - next_) < size) {
        // A chunk starts with the link to the one before; 16 bytes keep the blocks aligned.
        void* chunk = std::malloc(chunkSize_);
        if (!chunk) {
            throw std::bad_alloc();
        }
        *static_cast<void**>(chunk) = chunks_;
        chunks_ = chunk;
        next_ = static_cast<char*>(chunk) + 16;
        end_ = static_cast<char*>(chunk) + chunkSize_;
        if (chunkSize_ < kLargestChunk) {
            chunkSize_ *= 2;
        }
    }
    void* block = next_;
    next_ += size;
    return block;
}

void Pool::Release(void* block, size_t size) {
    size = size == 0 ? kGrain : (size + kGrain - 1) & ~(kGrain - 1);
    if (size <= kSmallLimit) {
        void*& head = free_[size / kGrain];
        *static_cast<void**>(block) = head;
        head = block;
        return;
    }
    Large* large = static_cast<Large*>(block) - 1;
    if (large->previous) {
        large->previous->next = large->next;
    } else {
        large_ = large->next;
    }
    if (large->next) {
        large->next->previous = large->previous;
    }
    std::free(large);
}

void Pool::Clear() {
    while (chunks_) {
        void* previous = *static_cast<void**>(chunks_);
        std::free(chunks_);
        chunks_ = previous;
    }
    while (large_) {
        Large* next = large_->next;
        std::free(large_);
        large_ = next;
    }
    next_ = end_ = nullptr;
    chunkSize_ = 4096;
    std::memset(free_, 0, sizeof free_);
}

bool qm::xml::IsBlank(std::string_view text) {
    for (char c : text) {
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
            return false;
        }
    }
    return true;
}

// ---- Store: the interned tags ----

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

// ---- Impl ----

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

uint32_t OutsideLength(const char* text) {
    uint32_t length;
    std::memcpy(&length, text - sizeof(uint32_t), sizeof length);
    return length;
}

void ReleaseText(Pool& pool, uintptr_t up, const char* pointer) {
    if (!(up & Impl::kInside)) {
        pool.Release(const_cast<char*>(pointer) - sizeof(uint32_t),
                     OutsideBytes(OutsideLength(pointer)));
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
        ReleaseNode(pool, top);
        throw;
    }
    return top;
}

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
    try {
        tag_ = store.Intern(qm::Utf8(tag), false);
    } catch (const std::exception&) {
        tag_ = store.Find({});
    }
}

XmlNode::~XmlNode() {
    // Only detached nodes made by the public constructor run their destructor; the nodes of a
    // tree are given back with their pool.
    if (up_ & Impl::kSide) {
        Impl::ReleaseContent(Impl::PoolOf(*this), *this);
    }
}

XmlNode& XmlNode::operator=(const XmlNode& other) {
    if (&other == this) {
        return *this;
    }
    Pool& pool = Impl::PoolOf(*this);
    try {
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
    } catch (const std::exception&) {
        // Out of memory: the node keeps what it had.
    }
    return *this;
}

QMWideString XmlNode::Tag() const {
    return qm::Wide(TagUtf8());
}

QMWideString XmlNode::Value() const {
    return qm::Wide(ValueUtf8());
}

QMWideString XmlNode::Value(const wchar_t* path, const wchar_t* def) const {
    try {
        if (const XmlNode* node = Impl::Resolve(*this, qm::Utf8(path))) {
            return node->Value();
        }
    } catch (const std::exception&) {
    }
    return QMWideString(def);
}

void XmlNode::SetValue(const wchar_t* text) noexcept {
    qm::detail::NoThrow([&] { SetValueUtf8(qm::Utf8(text)); });
}

void XmlNode::SetValue(const wchar_t* key, const wchar_t* value) noexcept {
    qm::detail::NoThrow([&] { SetValueUtf8(qm::Utf8(key), qm::Utf8(value)); });
}

std::string_view XmlNode::TagUtf8() const {
    return tag_->Text();
}

std::string_view XmlNode::ValueUtf8() const {
    if (up_ & Impl::kInside) {
        return {value_.inside, ::strnlen(value_.inside, sizeof value_.inside)};
    }
    return {value_.pointer, OutsideLength(value_.pointer)};
}

void XmlNode::SetValueUtf8(std::string_view text) noexcept {
    qm::detail::NoThrow([&] { Impl::SetText(Impl::PoolOf(*this), *this, text); });
}

void XmlNode::SetValueUtf8(std::string_view key, std::string_view value) {
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
    } catch (const std::exception&) {
        if (node) {
            Impl::ReleaseNode(pool, node);
        }
    }
}

XmlNode* XmlNode::NodeUtf8(std::string_view path) {
    return const_cast<XmlNode*>(Impl::Resolve(*this, path));
}

const XmlNode* XmlNode::NodeUtf8(std::string_view path) const {
    return Impl::Resolve(*this, path);
}

XmlNode* XmlNode::Node(const wchar_t* path) noexcept {
    return qm::detail::NoThrow(nullptr, [&] { return NodeUtf8(qm::Utf8(path)); });
}

const XmlNode* XmlNode::Node(const wchar_t* path) const noexcept {
    return qm::detail::NoThrow(nullptr, [&] { return NodeUtf8(qm::Utf8(path)); });
}

XmlNode* XmlNode::NodeV(const wchar_t* format, ...) {
    if (!format) {
        return nullptr;
    }
    try {
        QMWideString path;
        va_list args;
        va_start(args, format);
        path.FormatV(ToLibraryFormat(format).c_str(), args);
        va_end(args);
        return path.IsEmpty() ? nullptr : Node(path.c_str());
    } catch (const std::exception&) {
        return nullptr;
    }
}

XmlNode* XmlNode::NewChild(const wchar_t* tag) {
    Pool& pool = Impl::PoolOf(*this);
    XmlNode* node = nullptr;
    try {
        const XmlNode::TagName* interned = Impl::StoreOf(*this).Intern(qm::Utf8(tag), false);
        node = Impl::NewNode(pool, document_, interned, up_ & Impl::kSide);
        Impl::Link(*this, node);
        return node;
    } catch (const std::exception&) {
        if (node) {
            Impl::ReleaseNode(pool, node);
        }
        return nullptr;
    }
}

XmlNode* XmlNode::AddChild(const XmlNode& source) {
    Pool& pool = Impl::PoolOf(*this);
    XmlNode* copy = nullptr;
    try {
        copy = Impl::Copy(pool, Impl::StoreOf(*this), document_, up_ & Impl::kSide, source);
        Impl::Link(*this, copy);
        return copy;
    } catch (const std::exception&) {
        if (copy) {
            Impl::ReleaseNode(pool, copy);
        }
        return nullptr;
    }
}

bool XmlNode::RemoveChild(XmlNode* node) {
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

XmlNode::ChildIterator XmlNode::ChildsBegin() const {
    return children_ ? children_->Items() : nullptr;
}

XmlNode::ChildIterator XmlNode::ChildsEnd() const {
    return children_ ? children_->Items() + children_->size : nullptr;
}

size_t XmlNode::Size() const {
    return children_ ? children_->size : 0;
}

XmlDocument* XmlNode::Document() const {
    return document_;
}

XmlNode* XmlNode::Parent() const {
    return Impl::ParentOf(*this);
}

bool XmlNode::IsKey() const {
    return (up_ & Impl::kKey) != 0;
}

// ---- XmlDocument ----

XmlDocument::XmlDocument()
    : store_(std::make_unique<Store>()), root_(XmlNode::Internal{}, this, store_->Find({}), 0) {}

XmlDocument::XmlDocument(const XmlNode& node) : XmlDocument() {
    try {
        root_.tag_ = store_->Intern(node.TagUtf8(), false);
        root_ = node;
    } catch (const std::exception&) {
        Reset();
    }
}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Load(const wchar_t* path) {
    Reset();
    qm::xml::ParseFailure& failure = store_->failure;
    failure = {};
    try {
        fileName_ = QMWideString(path);
        std::string native = qm::platform::NativePath(fileName_.c_str());
        qm::platform::UniqueFd fd = qm::platform::OpenRegularFile(native);
        if (!fd) {
            failure.message = std::strerror(errno);
            return false;
        }
        return qm::xml::ParseFile(*this, failure, fd.Get());
    } catch (const std::exception&) {
        Reset();
        failure.message = "out of memory";
        return false;
    }
}

bool XmlDocument::Parse(const char* utf8Text) {
    return Parse(utf8Text, utf8Text ? std::strlen(utf8Text) : 0);
}

bool XmlDocument::Parse(const char* utf8Text, size_t length) {
    if (!utf8Text) {
        Reset();
        store_->failure = {0, 0, "no text"};
        return false;
    }
    return qm::xml::ParseText(*this, store_->failure, utf8Text, length);
}

std::string qm::XmlLoadFailure(std::string_view file, const XmlDocument& document) {
    std::string text(file);
    text += ':';
    if (document.ErrorLine() > 0) {
        text += std::to_string(document.ErrorLine()) + ":" +
                std::to_string(document.ErrorColumn()) + ":";
    }
    return text + " " + std::string(document.ErrorMessage());
}

int XmlDocument::ErrorLine() const {
    return store_->failure.line;
}

int XmlDocument::ErrorColumn() const {
    return store_->failure.column;
}

std::string_view XmlDocument::ErrorMessage() const {
    return store_->failure.message;
}

bool XmlDocument::IsOK() const {
    return root_.tag_->length > 0;
}

bool XmlDocument::Create(const wchar_t* rootTag) {
    Reset();
    try {
        root_.tag_ = store_->Intern(qm::Utf8(rootTag), false);
    } catch (const std::exception&) {
        return false;
    }
    return IsOK();
}

void XmlDocument::Reset() {
    store_->tree.Clear();
    root_.tag_ = store_->Find({});
    root_.value_ = {};
    root_.up_ = Impl::kInside;
    root_.children_ = nullptr;
}

XmlNode& XmlDocument::Root() {
    return root_;
}

const XmlNode& XmlDocument::Root() const {
    return root_;
}

XmlNode* XmlDocument::Node(const wchar_t* path) {
    return root_.Node(path);
}

const XmlNode* XmlDocument::Node(const wchar_t* path) const {
    return root_.Node(path);
}

void XmlDocument::SetFileName(const wchar_t* path) {
    fileName_ = QMWideString(path);
}

const QMWideString& XmlDocument::FileName() const {
    return fileName_;
}

bool XmlDocument::Save() {
    return SaveAs(fileName_.c_str());
}

bool XmlDocument::SaveAs(const wchar_t* path) {
    if (!path || !*path) {
        return false;
    }
    try {
        QMNarrowString text;
        if (!CreateXmlCode(text, true)) {
            return false;
        }
        QMWideString target(path);
        if (!qm::platform::WriteFileAtomic(qm::platform::NativePath(target.c_str()), text.view())) {
            return false;
        }
        fileName_ = std::move(target);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool XmlDocument::CreateXmlCode(QMNarrowString& out, bool declaration) const {
    if (!IsOK()) {
        return false;
    }
    try {
        std::string text;
        if (declaration) {
            text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        }
        if (!Impl::Write(root_, text)) {
            return false;
        }
        out = QMNarrowString(std::move(text));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
