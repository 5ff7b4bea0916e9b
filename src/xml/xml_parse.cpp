// Reading XML into the document's tree with libxml2's SAX2 push parser, which judges the text
// by XML 1.0 (fifth edition). The tree is built while the text streams through in pieces, so
// a file is never held whole in memory beside its tree, and no libxml2 tree is ever built.
//
// Safety:
// - External entities and DTDs are never read. The external subset has no handler, entity
//   references in content are expanded without the option that loads external ones, our own
//   entity look-up never loads, and the entity loader refuses whatever our contexts ask for.
// - Internal entities expand within libxml2's amplification limits. Those limits hold only
//   without XML_PARSE_HUGE, which is needed for the tens of megabytes of base64 that screens
//   carry in one attribute; so a document starts with it and drops it at its first entity
//   declaration, before any entity can be referenced.
// - Attribute defaults declared in the DTD can repeat text without entities, so the builder
//   also refuses a tree whose text outgrows the input many times over.
// - Options are set on each parser context; the only process-wide step is the entity loader,
//   which hands every context that is not ours to the loader it replaced.

#include "toolsapi/no_throw.h"
#include "xml/xml_impl.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;

namespace {

// Marks our parser contexts (libxml2 copies it into the contexts it derives for entities).
char ourContexts;
xmlExternalEntityLoader otherLoader = nullptr;

xmlParserInputPtr RefuseExternal(const char* url, const char* id, xmlParserCtxtPtr context) {
    if (context && context->_private == &ourContexts) {
        return nullptr;
    }
    return otherLoader ? otherLoader(url, id, context) : nullptr;
}

void InitializeOnce() {
    static const bool initialized = [] {
        xmlInitParser();
        otherLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(&RefuseExternal);
        return true;
    }();
    (void)initialized;
}

// The text of the tree may outgrow the input this many times, beyond a floor, before the
// document counts as an amplification attack.
constexpr size_t kMaxAmplification = 10;
constexpr size_t kAmplificationFloor = 16u << 20;
constexpr size_t kPiece = 1024 * 1024;
constexpr size_t kLargestPiece = 1u << 30;

class Builder {
  public:
    Builder(XmlDocument& document, qm::xml::ParseFailure& failure)
        : document_(document),
          store_(Impl::StoreOf(document)),
          pool_(store_.tree),
          failure_(failure) {
        InitializeOnce();
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = &Builder::OnStart;
        handler.endElementNs = &Builder::OnEnd;
        handler.characters = &Builder::OnText;
        handler.ignorableWhitespace = &Builder::OnText;
        handler.cdataBlock = &Builder::OnText;
        handler.internalSubset = &Builder::OnInternalSubset;
        handler.entityDecl = &Builder::OnEntityDeclaration;
        handler.unparsedEntityDecl = &Builder::OnUnparsedEntityDeclaration;
        handler.getEntity = &Builder::OnGetEntity;
        handler.getParameterEntity = &Builder::OnGetParameterEntity;
        handler.serror = &Builder::OnError;
        // libxml2 reports some errors (encoding conversions, input) outside the parser
        // context, to the thread's handler, which prints them; while this thread parses,
        // they are ours.
        otherErrors_ = xmlStructuredError;
        otherErrorsContext_ = xmlStructuredErrorContext;
        xmlSetStructuredErrorFunc(this, &Builder::OnError);
        context_ = xmlCreatePushParserCtxt(&handler, this, nullptr, 0, nullptr);
        if (!context_) {
            return;
        }
        context_->_private = &ourContexts;
        xmlCtxtUseOptions(context_, XML_PARSE_NONET | XML_PARSE_HUGE);
        // Entities expand in attribute values and content; the XML_PARSE_NOENT option would
        // also load external ones, so it stays off.
        context_->replaceEntities = 1;
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;
    ~Builder() {
        xmlSetStructuredErrorFunc(otherErrorsContext_, otherErrors_);
        if (context_) {
            if (context_->myDoc) {
                xmlFreeDoc(context_->myDoc);
                context_->myDoc = nullptr;
            }
            xmlFreeParserCtxt(context_);
        }
    }

    // Feeds the next part of the text; `last` marks the end. False once the text is known
    // not to be well-formed.
    bool Feed(const char* text, size_t length, bool last) {
        if (!context_) {
            return false;
        }
        do {
            size_t piece = std::min(length, Piece());
            fed_ += piece;
            ending_ = last && piece == length;
            xmlParseChunk(context_, text, static_cast<int>(piece), ending_ ? 1 : 0);
            if (failed_ || !context_->wellFormed || context_->instate == XML_PARSER_EOF) {
                return Finish();
            }
            text += piece;
            length -= piece;
        } while (length > 0);
        return last ? Finish() : true;
    }

    bool FeedFile(int fd) {
        std::vector<char> buffer;
        for (;;) {
            buffer.resize(std::max(buffer.size(), Piece()));
            ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                failure_.message = std::strerror(errno);
                return false;
            }
            if (!Feed(buffer.data(), static_cast<size_t>(n), n == 0)) {
                return false;
            }
            if (n == 0) {
                return true;
            }
        }
    }

  private:
    struct Frame {
        XmlNode* node;
        size_t firstChild;  // in children_
        size_t textStart;   // in text_
        bool hasElement;
    };

    // How much to feed next. While libxml2 waits for the end of a long token (a base64
    // image in an attribute), it rescans all it holds at every piece; pieces that grow with
    // what it holds keep the whole parse linear.
    size_t Piece() const {
        size_t held = 0;
        if (context_ && context_->input && context_->input->cur) {
            held = static_cast<size_t>(context_->input->end - context_->input->cur);
        }
        return std::clamp(held / 2, kPiece, kLargestPiece);
    }

    // Whether the whole text was well-formed; names the failure when it was not.
    bool Finish() {
        bool ok = !failed_ && context_->wellFormed && ending_ && frames_.empty() &&
                  context_->instate == XML_PARSER_EOF;
        if (!ok && failure_.message.empty()) {
            Fail("the document is not well-formed XML");
        }
        return ok;
    }

    // Records the first failure, at the parser's position, and stops the parser.
    void Fail(const char* message) {
        if (failure_.message.empty()) {
            failure_.message = message;
            failure_.line = xmlSAX2GetLineNumber(context_);
            failure_.column = xmlSAX2GetColumnNumber(context_);
        }
        failed_ = true;
        xmlStopParser(context_);
    }

    // The interned tag of a qualified name. libxml2 hands out names from its dictionary, which
    // lives as long as the parser and is shared with the parsers of entity content, so one
    // pointer always means one name; a small cache by pointer skips most hashing.
    const XmlNode::TagName* Intern(const xmlChar* prefix, const xmlChar* localName) {
        const char* name = reinterpret_cast<const char*>(localName);
        if (prefix) {
            qualified_.assign(reinterpret_cast<const char*>(prefix));
            qualified_ += ':';
            qualified_ += name;
            return store_.Intern(qualified_, true);
        }
        Cached& cached = cache_[(reinterpret_cast<uintptr_t>(name) >> 3) % kCacheSize];
        if (cached.name == name) {
            return cached.tag;
        }
        const XmlNode::TagName* tag = store_.Intern(name, true);
        cached = {name, tag};
        return tag;
    }

    void AddKey(XmlNode* node, const XmlNode::TagName* tag, std::string_view value) {
        XmlNode* key = Impl::NewNode(pool_, &document_, tag, Impl::kKey);
        Impl::SetParent(*key, node);
        children_.push_back(key);
        Impl::SetText(pool_, *key, value);
        Count(tag->length + value.size());
    }

    // Counts text that goes into the tree against the input fed so far.
    void Count(size_t bytes) {
        built_ += bytes;
        if (built_ > kAmplificationFloor && built_ / kMaxAmplification > fed_) {
            Fail("the document expands to many times its size");
        }
    }

    void Start(const xmlChar* localName, const xmlChar* prefix, int namespaceCount,
               const xmlChar** namespaces, int attributeCount, const xmlChar** attributes) {
        started_ = true;
        if (frames_.size() >= qm::xml::kMaxDepth) {
            Fail("elements are nested too deeply");
            return;
        }
        XmlNode* node;
        if (frames_.empty()) {
            node = &Impl::RootOf(document_);
            Impl::SetRootTag(document_, Intern(prefix, localName));
        } else {
            Frame& parent = frames_.back();
            DropBlankRun();
            parent.hasElement = true;
            node = Impl::NewNode(pool_, &document_, Intern(prefix, localName), 0);
            Impl::SetParent(*node, parent.node);
            children_.push_back(node);
        }
        frames_.push_back({node, children_.size(), text_.size(), false});
        // Namespace declarations are keys like any other attribute.
        static const xmlChar kXmlns[] = "xmlns";
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar* declared = namespaces[2 * i];
            const char* uri = reinterpret_cast<const char*>(namespaces[2 * i + 1]);
            AddKey(node, declared ? Intern(kXmlns, declared) : Intern(nullptr, kXmlns),
                   uri ? std::string_view(uri) : std::string_view());
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            AddKey(node, Intern(a[1], a[0]),
                   std::string_view(reinterpret_cast<const char*>(a[3]),
                                    static_cast<size_t>(a[4] - a[3])));
        }
        runStart_ = text_.size();
    }

    void End() {
        if (frames_.empty()) {
            return;
        }
        Frame frame = frames_.back();
        frames_.pop_back();
        // White space between child elements is layout, not text; a leaf keeps all of it.
        if (frame.hasElement) {
            DropBlankRun();
        }
        if (text_.size() > frame.textStart) {
            Impl::SetText(pool_, *frame.node, std::string_view(text_).substr(frame.textStart));
            text_.resize(frame.textStart);
        }
        Impl::SetChildren(pool_, *frame.node, children_.data() + frame.firstChild,
                          children_.size() - frame.firstChild);
        children_.resize(frame.firstChild);
        runStart_ = text_.size();
    }

    void DropBlankRun() {
        if (text_.size() > runStart_ &&
            qm::xml::IsBlank(std::string_view(text_).substr(runStart_))) {
            text_.resize(runStart_);
        }
    }

    // Runs a step of the builder; a failure to allocate stops the parse.
    template <class Step>
    static void Guarded(void* data, Step&& step) {
        auto* self = static_cast<Builder*>(data);
        if (self->failed_) {
            return;
        }
        if (!qm::detail::NoThrow(false, [&] {
                step(*self);
                return true;
            })) {
            self->Fail("out of memory");
        }
    }

    static void OnStart(void* data, const xmlChar* localName, const xmlChar* prefix, const xmlChar*,
                        int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                        const xmlChar** attributes) {
        Guarded(data, [&](Builder& self) {
            self.Start(localName, prefix, namespaceCount, namespaces, attributeCount, attributes);
        });
    }

    static void OnEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
        Guarded(data, [](Builder& self) { self.End(); });
    }

    static void OnText(void* data, const xmlChar* text, int length) {
        Guarded(data, [&](Builder& self) {
            self.text_.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
            self.Count(static_cast<size_t>(length));
        });
    }

    // The DTD is kept only for its entities, in a bare libxml2 document that holds nothing
    // else.
    static void OnInternalSubset(void* data, const xmlChar* name, const xmlChar* publicId,
                                 const xmlChar* systemId) {
        xmlParserCtxtPtr context = static_cast<Builder*>(data)->context_;
        if (!context->myDoc) {
            context->myDoc = xmlNewDoc(BAD_CAST "1.0");
        }
        xmlSAX2InternalSubset(context, name, publicId, systemId);
    }

    static void OnEntityDeclaration(void* data, const xmlChar* name, int type,
                                    const xmlChar* publicId, const xmlChar* systemId,
                                    xmlChar* content) {
        xmlParserCtxtPtr context = static_cast<Builder*>(data)->context_;
        context->options &= ~XML_PARSE_HUGE;
        xmlSAX2EntityDecl(context, name, type, publicId, systemId, content);
    }

    static void OnUnparsedEntityDeclaration(void* data, const xmlChar* name,
                                            const xmlChar* publicId, const xmlChar* systemId,
                                            const xmlChar* notation) {
        xmlSAX2UnparsedEntityDecl(static_cast<Builder*>(data)->context_, name, publicId, systemId,
                                  notation);
    }

    // Looks an entity up without ever loading an external one; the predefined entities win
    // outside the DTD.
    static xmlEntityPtr OnGetEntity(void* data, const xmlChar* name) {
        xmlParserCtxtPtr context = static_cast<Builder*>(data)->context_;
        if (context->inSubset == 0) {
            if (xmlEntityPtr predefined = xmlGetPredefinedEntity(name)) {
                return predefined;
            }
        }
        return context->myDoc ? xmlGetDocEntity(context->myDoc, name) : nullptr;
    }

    // A parameter entity reference may declare entities; when it names an external entity,
    // which is never read, undeclared entities after it are no longer errors.
    static xmlEntityPtr OnGetParameterEntity(void* data, const xmlChar* name) {
        xmlParserCtxtPtr context = static_cast<Builder*>(data)->context_;
        context->hasPErefs = 1;
        return context->myDoc ? xmlGetParameterEntity(context->myDoc, name) : nullptr;
    }

    // Keeps the first fatal error with its position; warnings and namespace errors do not
    // make a document ill-formed.
    static void OnError(void* data, xmlErrorPtr error) {
        auto* self = static_cast<Builder*>(data);
        // An error without a place (a failed encoding conversion) gives way to the parser's
        // own error that follows it.
        if (!error || error->level != XML_ERR_FATAL ||
            (!self->failure_.message.empty() && self->failure_.line > 0)) {
            return;
        }
        self->failure_.line = error->line;
        self->failure_.column = error->int2;
        self->failure_.message = qm::xml::DescribeError(error->code, error->message, error->str1);
        // The push parser calls a document that ends too early one with extra content.
        if (error->code == XML_ERR_DOCUMENT_END && self->ending_) {
            if (!self->frames_.empty()) {
                self->failure_.message = "the document ends before element '" +
                                         std::string(self->frames_.back().node->TagUtf8()) +
                                         "' is closed";
            } else if (!self->started_) {
                self->failure_.message = "the document has no complete root element";
            }
        }
    }

    struct Cached {
        const char* name;
        const XmlNode::TagName* tag;
    };
    static constexpr size_t kCacheSize = 256;

    XmlDocument& document_;
    XmlDocument::Store& store_;
    qm::xml::Pool& pool_;
    qm::xml::ParseFailure& failure_;
    xmlParserCtxtPtr context_ = nullptr;
    xmlStructuredErrorFunc otherErrors_ = nullptr;
    void* otherErrorsContext_ = nullptr;
    Cached cache_[kCacheSize] = {};
    std::string qualified_;
    std::vector<Frame> frames_;
    std::vector<XmlNode*> children_;  // the children of every open element, in order
    std::string text_;                // the text of every open element, in order
    size_t runStart_ = 0;             // where the text since the last tag begins
    size_t fed_ = 0;                  // bytes of input fed to the parser
    size_t built_ = 0;                // bytes of names and text put into the tree
    bool ending_ = false;             // the last piece is being parsed
    bool started_ = false;            // the root element has begun
    bool failed_ = false;
};

template <class FeedAll>
bool ParseWith(XmlDocument& document, qm::xml::ParseFailure& failure, FeedAll&& feedAll) {
    document.Reset();
    failure = {};
    bool ok = qm::detail::NoThrow(false, [&] {
        Builder builder(document, failure);
        return feedAll(builder);
    });
    if (!ok) {
        document.Reset();
        if (failure.message.empty()) {
            failure.message = "out of memory";
        }
    }
    return ok;
}

}  // namespace

std::string qm::xml::DescribeError(int code, const char* message, const char* name) {
    std::string text;
    if (code == XML_ERR_ATTRIBUTE_REDEFINED && name) {
        text = std::string("attribute '") + name + "' redefined";
    } else if (code == XML_ERR_UNDECLARED_ENTITY && name) {
        text = std::string("entity '") + name + "' is not declared";
    } else {
        text = message ? message : "the document is not well-formed XML";
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
            text.pop_back();
        }
        // libxml2 starts its sentences with a capital; ours are lower case, like strerror's
        // use in "file: message".
        if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' &&
            text[1] <= 'z') {
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        }
    }
    return text;
}

bool qm::xml::ParseFile(XmlDocument& document, ParseFailure& failure, int fd) {
    return ParseWith(document, failure, [fd](Builder& builder) { return builder.FeedFile(fd); });
}

bool qm::xml::ParseText(XmlDocument& document, ParseFailure& failure, const char* text,
                        size_t length) {
    return ParseWith(document, failure,
                     [&](Builder& builder) { return builder.Feed(text, length, true); });
}

namespace {

// XML 1.0 (fifth edition) NameStartChar and NameChar beyond ASCII.
bool IsNameStart(char32_t c) {
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
    return IsNameStart(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
           (c >= 0x203F && c <= 0x2040);
}

// Decodes one well-formed UTF-8 character at `p` and advances it; 0 when it is not one.
char32_t NextUtf8(const unsigned char*& p, const unsigned char* end) {
    unsigned char b = *p++;
    if (b < 0x80) {
        return b;
    }
    size_t need = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
    if (need == 0 || b > 0xF4 || static_cast<size_t>(end - p) < need) {
        return 0;
    }
    char32_t c = b & (0x3F >> need);
    for (size_t k = 0; k < need; ++k, ++p) {
        if ((*p & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (*p & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    return c < kSmallest[need] || c > 0x10FFFF || surrogate ? 0 : c;
}

}  // namespace

bool qm::xml::IsXmlName(std::string_view text) {
    if (text.empty() || text.size() > (1u << 20)) {
        return false;
    }
    auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    for (bool first = true; p < end; first = false) {
        char32_t c = NextUtf8(p, end);
        bool ascii = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        bool start = ascii || c == '_' || c == ':' || (c >= 0x80 && IsNameStart(c));
        bool other = (c >= '0' && c <= '9') || c == '-' || c == '.' || (c >= 0x80 && IsNameChar(c));
        if (c == 0 || !(start || (!first && other))) {
            return false;
        }
    }
    return true;
}
