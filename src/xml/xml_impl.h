#pragma once

// The inner working of XmlDocument, shared by the tree, the parser and the writer.

#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qm::xml {

struct WrittenDocument;

// Memory for the nodes of one document. Small blocks come from 64 KB chunks and go back to
// free lists by size, large ones are single heap blocks; Clear() gives everything back at
// once, so dropping a tree of millions of nodes touches none of them.
class Pool {
  public:
    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    ~Pool() { Clear(); }

    // Throws std::bad_alloc when memory runs out.
    void* Allocate(size_t size);
    void Release(void* block, size_t size);
    void Clear();

  private:
    static constexpr size_t kGrain = 8;
    static constexpr size_t kSmallLimit = 512;
    static constexpr size_t kLargestChunk = 1024 * 1024;
    static constexpr size_t kMappedChunk = 256 * 1024;
    struct ChunkHeader {
        ChunkHeader* previous;
        size_t size;
    };
    struct Large {
        Large* previous;
        Large* next;
    };

    void* AllocateFromChunk(size_t size);

    char* next_ = nullptr;
    char* end_ = nullptr;
    ChunkHeader* chunks_ = nullptr;
    size_t chunkSize_ = 4096;
    void* free_[kSmallLimit / kGrain + 1] = {};
    Large* large_ = nullptr;
};

// The length of a text kept outside its node, which points at the bytes: the length sits in
// the four bytes before them, and a NUL follows them.
inline uint32_t OutsideLength(const char* text) {
    uint32_t length;
    std::memcpy(&length, text - sizeof(uint32_t), sizeof length);
    return length;
}

// Elements nested deeper than this fail to parse: the tree itself costs no stack at any depth,
// but each level costs memory in libxml2 and in the parser.
inline constexpr size_t kMaxDepth = 1u << 20;

// Whether every byte is XML white space.
bool IsBlank(std::string_view text);
// Whether the text is a valid XML element or attribute name.
bool IsXmlName(std::string_view text);

// Appends the text with the XML special characters escaped (as Text2Xml does): the five
// entities, tab, line feed and carriage return as character references so that they survive
// in attributes, and every byte that is not valid UTF-8 or not an XML character as U+FFFD.
// False when it put in any U+FFFD: the text read back then differs from `text`.
bool AppendEscaped(std::string& out, std::string_view text);
// Text with its references replaced by the characters they stand for; an ampersand that
// starts no valid reference stands for itself.
std::string Unescaped(std::string_view text);

// The code point of a Windows-1252 byte.
char32_t Windows1252(unsigned char byte);

// Where and why a parse failed: line and column from 1 (0 when unknown) and a message.
struct ParseFailure {
    int line = 0;
    int column = 0;
    std::string message;
};

// Reads a document from a file descriptor or from memory into `document`, which is reset
// first; false (and an empty document, with `failure` filled) when the text is not
// well-formed XML.
bool ParseFile(XmlDocument& document, ParseFailure& failure, int fd);
bool ParseText(XmlDocument& document, ParseFailure& failure, const char* text, size_t length);
// The message for a parser error: libxml2's own text in lower case, or ours naming `name`.
std::string DescribeError(int code, const char* message, const char* name);
// Reads a legacy configuration text into `document` (root element "legacy"); false (and an
// empty document) when the text is malformed.
bool ParseLegacy(XmlDocument& document, std::string_view text);

}  // namespace qm::xml

// An interned tag: its length, its hash, whether it is a valid XML name, then the text and a
// NUL.
struct XmlDocument::XmlNode::TagName {
    uint32_t length;
    uint32_t hash;
    uint32_t validName;

    std::string_view Text() const { return {reinterpret_cast<const char*>(this + 1), length}; }
};

// A node's child list: its size and capacity, then the node pointers.
struct XmlDocument::XmlNode::ChildList {
    uint32_t size;
    uint32_t capacity;

    XmlNode** Items() { return reinterpret_cast<XmlNode**>(this + 1); }
    static size_t Bytes(uint32_t capacity) {
        return sizeof(ChildList) + capacity * sizeof(XmlNode*);
    }
};

// Tags live as long as the document (a detached node may keep one across Reset); nodes live
// in `tree`, except the subtrees of detached nodes, which live in `side`.
struct XmlDocument::Store {
    using TagName = XmlNode::TagName;

    qm::xml::Pool tree;
    qm::xml::Pool side;
    qm::xml::Pool names;
    std::vector<const TagName*> table;  // open addressing, a power of two in size
    size_t tagCount = 0;
    qm::xml::ParseFailure failure;  // of the last Load or Parse

    Store();
    // The interned tag with this text, or null.
    const TagName* Find(std::string_view text) const;
    // Interns a tag; `knownValid` skips the name check for names the parser has accepted.
    const TagName* Intern(std::string_view text, bool knownValid);
};

// Operations on nodes that the public interface does not offer, used by the tree, the parser,
// the writer and the legacy reader.
struct XmlDocument::Impl {
    using XmlNode = XmlDocument::XmlNode;
    using TagName = XmlNode::TagName;
    using ChildList = XmlNode::ChildList;

    static constexpr uintptr_t kKey = 1;     // the node is a key (an attribute)
    static constexpr uintptr_t kInside = 2;  // the text is held in the node itself
    static constexpr uintptr_t kSide = 4;    // the node belongs to a detached subtree
    static constexpr uintptr_t kFlags = 7;

    static Store& StoreOf(const XmlNode& node);
    static qm::xml::Pool& PoolOf(const XmlNode& node) {
        Store& store = StoreOf(node);
        return (node.up_ & kSide) ? store.side : store.tree;
    }
    static XmlNode* ParentOf(const XmlNode& node) {
        return reinterpret_cast<XmlNode*>(node.up_ & ~kFlags);
    }
    static bool IsSide(const XmlNode& node) { return (node.up_ & kSide) != 0; }

    // A new node in `pool`, not yet linked to a parent.
    static XmlNode* NewNode(qm::xml::Pool& pool, XmlDocument* document, const TagName* tag,
                            uintptr_t flags);
    static void SetParent(XmlNode& node, XmlNode* parent) {
        node.up_ = reinterpret_cast<uintptr_t>(parent) | (node.up_ & kFlags);
    }
    // Appends `child` (made in the same pool) to `parent`'s list and sets its parent.
    static void Link(XmlNode& parent, XmlNode* child);
    // Replaces the node's text; the old text goes back to `pool`.
    static void SetText(qm::xml::Pool& pool, XmlNode& node, std::string_view text);
    // Gives back the node's text and its whole subtree, but not the node itself.
    static void ReleaseContent(qm::xml::Pool& pool, XmlNode& node);
    // A deep copy of `source` (from any document) made in `pool` of `store`, not yet linked.
    // Iterative, so depth costs no stack; throws std::bad_alloc and leaves nothing behind.
    static XmlNode* Copy(qm::xml::Pool& pool, Store& store, XmlDocument* document,
                         uintptr_t sideFlag, const XmlNode& source);
    // Gives back a whole node made by NewNode, with its subtree.
    static void ReleaseNode(qm::xml::Pool& pool, XmlNode* node);
    // Sets the child list of a node from the parser's stack (an exact fit).
    static void SetChildren(qm::xml::Pool& pool, XmlNode& node, XmlNode* const* items,
                            size_t count);
    // The root of a document, to be filled by the parser.
    static XmlNode& RootOf(XmlDocument& document) { return document.root_; }
    static Store& StoreOf(XmlDocument& document) { return *document.store_; }
    static void SetRootTag(XmlDocument& document, const TagName* tag) { document.root_.tag_ = tag; }
    // The first child with this tag, or null.
    static XmlNode* FindChild(const XmlNode& node, const TagName* tag);
    static const XmlNode* Resolve(const XmlNode& node, std::string_view path);
    // Writes the tree below `root`; with `written`, records where each value went and
    // whether the text reads back as the same tree (see WrittenDocument).
    static bool Write(const XmlNode& root, std::string& out,
                      qm::xml::WrittenDocument* written = nullptr);
};
