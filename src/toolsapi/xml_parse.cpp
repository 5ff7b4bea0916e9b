// Reading XML into the document's tree with expat, which checks that the text is
// well-formed XML 1.0. The tree is built while the text streams through, so a file is never
// held whole in memory.

#include "toolsapi/xml_impl.h"

#include <expat.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;

namespace {

class Builder {
  public:
    explicit Builder(XmlDocument& document)
        : document_(document),
          store_(Impl::StoreOf(document)),
          pool_(store_.tree),
          parser_(XML_ParserCreate(nullptr)) {
        if (!parser_) {
            return;
        }
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &Builder::OnStart, &Builder::OnEnd);
        XML_SetCharacterDataHandler(parser_, &Builder::OnText);
        // No entity is ever expanded or fetched: a DOCTYPE that declares one, or a
        // reference to an entity that was not declared, ends the parse.
        XML_SetEntityDeclHandler(parser_, &Builder::OnEntityDeclaration);
        XML_SetSkippedEntityHandler(parser_, &Builder::OnSkippedEntity);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetUnknownEncodingHandler(parser_, &Builder::OnUnknownEncoding, nullptr);
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;
    ~Builder() {
        if (parser_) {
            XML_ParserFree(parser_);
        }
    }

    // Feeds the next piece of text; `last` marks the end.
    bool Feed(const char* text, size_t length, bool last) {
        while (length > INT_MAX) {
            if (!Feed(text, INT_MAX, false)) {
                return false;
            }
            text += INT_MAX;
            length -= INT_MAX;
        }
        return parser_ &&
               XML_Parse(parser_, text, static_cast<int>(length), last) == XML_STATUS_OK &&
               !failed_;
    }

    bool FeedFile(int fd) {
        constexpr int kPiece = 256 * 1024;
        if (!parser_) {
            return false;
        }
        for (;;) {
            void* buffer = XML_GetBuffer(parser_, kPiece);
            if (!buffer) {
                return false;
            }
            ssize_t n = ::read(fd, buffer, kPiece);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            if (XML_ParseBuffer(parser_, static_cast<int>(n), n == 0) != XML_STATUS_OK || failed_) {
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

    // Expat hands out attribute names from its own table, so the same pointer comes back
    // for the same name; a small cache by pointer, checked by content, skips most hashing.
    const XmlNode::TagName* Intern(const char* name) {
        Cached& cached = cache_[(reinterpret_cast<uintptr_t>(name) >> 3) % kCacheSize];
        if (cached.name == name && std::strcmp(cached.tag->Text().data(), name) == 0) {
            return cached.tag;
        }
        const XmlNode::TagName* tag = store_.Intern(name, true);
        cached = {name, tag};
        return tag;
    }

    void Start(const char* name, const char** attributes) {
        XmlNode* node;
        if (frames_.empty()) {
            node = &Impl::RootOf(document_);
            Impl::SetRootTag(document_, Intern(name));
        } else {
            Frame& parent = frames_.back();
            DropBlankRun();
            parent.hasElement = true;
            node = Impl::NewNode(pool_, &document_, Intern(name), 0);
            Impl::SetParent(*node, parent.node);
            children_.push_back(node);
        }
        frames_.push_back({node, children_.size(), text_.size(), false});
        for (const char** a = attributes; a[0]; a += 2) {
            XmlNode* key = Impl::NewNode(pool_, &document_, Intern(a[0]), Impl::kKey);
            Impl::SetParent(*key, node);
            children_.push_back(key);
            Impl::SetText(pool_, *key, a[1]);
        }
        runStart_ = text_.size();
    }

    void End() {
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

    void Fail() {
        failed_ = true;
        XML_StopParser(parser_, XML_FALSE);
    }

    static void XMLCALL OnStart(void* data, const char* name, const char** attributes) {
        auto* self = static_cast<Builder*>(data);
        try {
            self->Start(name, attributes);
        } catch (const std::exception&) {
            self->Fail();
        }
    }

    static void XMLCALL OnEnd(void* data, const char*) {
        auto* self = static_cast<Builder*>(data);
        try {
            self->End();
        } catch (const std::exception&) {
            self->Fail();
        }
    }

    static void XMLCALL OnText(void* data, const char* text, int length) {
        auto* self = static_cast<Builder*>(data);
        try {
            self->text_.append(text, static_cast<size_t>(length));
        } catch (const std::exception&) {
            self->Fail();
        }
    }

    static void XMLCALL OnEntityDeclaration(void* data, const char*, int, const char*, int,
                                            const char*, const char*, const char*, const char*) {
        static_cast<Builder*>(data)->Fail();
    }

    static void XMLCALL OnSkippedEntity(void* data, const char*, int) {
        static_cast<Builder*>(data)->Fail();
    }

    // Files written on Windows may declare windows-1252, which expat does not know.
    static int XMLCALL OnUnknownEncoding(void*, const char* name, XML_Encoding* info) {
        if (strcasecmp(name, "windows-1252") != 0 && strcasecmp(name, "cp1252") != 0) {
            return XML_STATUS_ERROR;
        }
        for (int i = 0; i < 256; ++i) {
            info->map[i] = static_cast<int>(qm::xml::Windows1252(static_cast<unsigned char>(i)));
        }
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return XML_STATUS_OK;
    }

    struct Cached {
        const char* name;
        const XmlNode::TagName* tag;
    };
    static constexpr size_t kCacheSize = 256;

    XmlDocument& document_;
    XmlDocument::Store& store_;
    qm::xml::Pool& pool_;
    XML_Parser parser_;
    Cached cache_[kCacheSize] = {};
    std::vector<Frame> frames_;
    std::vector<XmlNode*> children_;  // the children of every open element, in order
    std::string text_;                // the text of every open element, in order
    size_t runStart_ = 0;             // where the text since the last tag begins
    bool failed_ = false;
};

template <class FeedAll>
bool ParseWith(XmlDocument& document, FeedAll&& feedAll) {
    document.Reset();
    bool ok = false;
    try {
        Builder builder(document);
        ok = feedAll(builder);
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) {
        document.Reset();
    }
    return ok;
}

}  // namespace

bool qm::xml::ParseFile(XmlDocument& document, int fd) {
    return ParseWith(document, [fd](Builder& builder) { return builder.FeedFile(fd); });
}

bool qm::xml::ParseText(XmlDocument& document, const char* text, size_t length) {
    return ParseWith(document, [&](Builder& builder) { return builder.Feed(text, length, true); });
}

bool qm::xml::IsXmlName(std::string_view text) {
    if (text.empty() || text.size() > (1u << 20)) {
        return false;
    }
    auto letter = [](unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    // ASCII is decided here; expat judges the rest, so a name we write is one we can read.
    bool ascii = true;
    for (unsigned char c : text) {
        if (c >= 0x80) {
            ascii = false;
        } else if (!(letter(c) || (c >= '0' && c <= '9') || c == '_' || c == ':' || c == '.' ||
                     c == '-')) {
            return false;
        }
    }
    if (ascii) {
        unsigned char first = static_cast<unsigned char>(text[0]);
        return letter(first) || first == '_' || first == ':';
    }
    std::string probe = "<";
    probe.append(text);
    probe += "/>";
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) {
        return false;
    }
    bool ok =
        XML_Parse(parser, probe.data(), static_cast<int>(probe.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}
