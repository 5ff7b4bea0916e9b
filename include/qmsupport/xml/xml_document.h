#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// An XML document held as our own tree. An element has a tag, a text and one ordered
// collection of children; keys (attributes) sit in that same collection, marked as keys, so
// walking the children meets them with Tag() the key and Value() its text.
//
// Paths are "/"-separated and relative to the node they are called on; a leading "/" is
// ignored. A step "tag?key=value?" (the closing "?" may be missing) picks the first child with
// that tag whose key has that value; a missing key reads as empty text.
//
// The nodes, their texts and their child lists live in a pool owned by the document, and
// tags are interned, so a loaded configuration costs one small record per node. A detached
// node made with the public constructor keeps its subtree in a separate pool of its
// document: it survives Reset, Load and Parse, but it must not outlive the document (one
// made without a document belongs to the thread that made it).
//
// The writer puts keys without children as attributes on their element, all before the
// child elements; a second key of the same tag on one element is written as an element.
// Between child elements, text that is only white space is layout and is not kept.
class QMSUPPORT_API XmlDocument {
  public:
    // The library's own internals, opaque outside it.
    struct Impl;
    struct Store;

    class QMSUPPORT_API XmlNode {
      public:
        // Walks the children (keys and elements) in document order; a random-access iterator
        // whose elements are XmlNode pointers.
        using ChildIterator = XmlNode* const*;

        // A detached node of `document` (which may be null) with the given tag. `index` -1 is
        // the only value the library uses; the node is placed by AddChild.
        XmlNode(XmlDocument* document, const wchar_t* tag, int index = -1);
        XmlNode(const XmlNode&) = delete;
        ~XmlNode();

        // Copies the text, the keys and the whole subtree of `other`; keeps this node's tag.
        XmlNode& operator=(const XmlNode& other) noexcept;

        QMWideString Tag() const;
        // The node's own text.
        QMWideString Value() const;
        // The text of the key or child at `path`, or `def` when there is none.
        QMWideString Value(const wchar_t* path, const wchar_t* def) const;
        void SetValue(const wchar_t* text) noexcept;
        // Overwrites the text of the first key or child tagged `key`, or adds a key.
        void SetValue(const wchar_t* key, const wchar_t* value) noexcept;

        // The same in UTF-8, without conversion to wide text. A view stays valid until the
        // node changes, and the text is followed by a NUL.
        std::string_view TagUtf8() const noexcept;
        std::string_view ValueUtf8() const noexcept;
        void SetValueUtf8(std::string_view text) noexcept;
        void SetValueUtf8(std::string_view key, std::string_view value) noexcept;
        XmlNode* NodeUtf8(std::string_view path) noexcept;
        const XmlNode* NodeUtf8(std::string_view path) const noexcept;

        XmlNode* Node(const wchar_t* path) noexcept;
        const XmlNode* Node(const wchar_t* path) const noexcept;
        // The path is formatted printf-style in the system's wide dialect: "%s" (or "%ls")
        // takes wide text, "%hs" narrow text.
        XmlNode* NodeV(const wchar_t* format, ...) noexcept;

        // Appends a new last child element and returns it (null when memory runs out).
        XmlNode* NewChild(const wchar_t* tag) noexcept;
        // Appends a deep copy of `node` (tag, text, keys and subtree) as the last child.
        XmlNode* AddChild(const XmlNode& node) noexcept;
        // Detaches and destroys a direct child; false when it is not a child of this node.
        bool RemoveChild(XmlNode* node) noexcept;
        // Remove the first key or child named `key`; false when there is none.
        bool Erase(const wchar_t* key) noexcept;
        bool EraseTag(const wchar_t* key) noexcept;

        ChildIterator ChildsBegin() const noexcept;
        ChildIterator ChildsEnd() const noexcept;
        size_t Size() const noexcept;
        XmlDocument* Document() const noexcept;
        XmlNode* Parent() const noexcept;
        [[nodiscard]] bool IsKey() const noexcept;

        // The library's own internals, opaque outside it.
        struct TagName;
        struct ChildList;

      private:
        friend class XmlDocument;
        friend struct XmlDocument::Impl;
        struct Internal {};
        XmlNode(Internal, XmlDocument* document, const TagName* tag, uintptr_t flags);

        XmlDocument* document_;
        // The parent node, with three flags in the low bits (see Impl).
        uintptr_t up_;
        const TagName* tag_;
        // A text of up to seven bytes is held in place; a longer one lives in the pool.
        union {
            const char* pointer;
            char inside[8];
        } value_;
        ChildList* children_;
    };

    XmlDocument();
    // A document whose root is a copy of `node` and its subtree.
    explicit XmlDocument(const XmlNode& node);
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    virtual ~XmlDocument();

    // Loads and parses a file; remembers `path` as the file name even when it fails.
    [[nodiscard]] bool Load(const wchar_t* path) noexcept;
    // Parses UTF-8 text; keeps the file name.
    [[nodiscard]] bool Parse(const char* utf8Text) noexcept;
    [[nodiscard]] bool Parse(const char* utf8Text, size_t length) noexcept;
    // Why the last Load or Parse failed: the line and column (from 1) where the text stopped
    // being well-formed XML 1.0, and a message in UTF-8. Line and column are 0 when the
    // failure has no place in the text (a file that cannot be read); the message is empty
    // after a success.
    int ErrorLine() const noexcept;
    int ErrorColumn() const noexcept;
    std::string_view ErrorMessage() const noexcept;
    [[nodiscard]] bool IsOK() const noexcept;
    // Replaces the tree with a lone root element.
    [[nodiscard]] bool Create(const wchar_t* rootTag) noexcept;
    void Reset() noexcept;
    // The root element; an empty element without a tag when the document holds nothing.
    XmlNode& Root() noexcept;
    const XmlNode& Root() const noexcept;
    XmlNode* Node(const wchar_t* path) noexcept;
    const XmlNode* Node(const wchar_t* path) const noexcept;

    void SetFileName(const wchar_t* path) noexcept;
    const QMWideString& FileName() const noexcept;
    // Atomic: a failed save leaves the old file whole. SaveAs takes the new name when it
    // succeeds.
    [[nodiscard]] bool Save() noexcept;
    [[nodiscard]] bool SaveAs(const wchar_t* path) noexcept;
    // Writes the tree as UTF-8 XML; `declaration` puts the <?xml?> line first. False when the
    // document is empty or a tag is not a valid XML name.
    [[nodiscard]] bool CreateXmlCode(QMNarrowString& out, bool declaration = true) const noexcept;

  private:
    // The pool comes first so that it outlives the root during destruction.
    std::unique_ptr<Store> store_;
    XmlNode root_;
    QMWideString fileName_;
};

namespace qm {
// Where and why `document` did not load, as "file:line:column: message"; the place is left out
// when the failure has none in the text (a file that cannot be read).
QMSUPPORT_API std::string XmlLoadFailure(std::string_view file, const XmlDocument& document);
}  // namespace qm
