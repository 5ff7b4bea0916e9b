// Writing the tree as XML text: keys as attributes, elements indented one tab per level.

#include "toolsapi/no_throw.h"
#include "xml/written_document.h"
#include "xml/xml_impl.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;

namespace {

// Deep trees are not indented further than this, so the text stays linear in the tree.
constexpr size_t kMaxIndent = 32;

// Decides which keys of one element become attributes: a key without children whose tag has
// not been written on this element yet (a second key of that tag becomes an element, as
// XML allows an attribute once).
class AttributeNames {
  public:
    bool FirstUse(const XmlNode::TagName* tag) {
        if (seen_.size() < kLinearLimit) {
            if (std::find(seen_.begin(), seen_.end(), tag) != seen_.end()) {
                return false;
            }
            seen_.push_back(tag);
            return true;
        }
        if (many_.empty()) {
            many_.insert(seen_.begin(), seen_.end());
        }
        return many_.insert(tag).second;
    }
    void Clear() {
        seen_.clear();
        many_.clear();
    }

  private:
    static constexpr size_t kLinearLimit = 16;
    std::vector<const XmlNode::TagName*> seen_;
    std::unordered_set<const XmlNode::TagName*> many_;
};

struct Frame {
    const XmlNode* node;
    size_t first;  // its element children in `pending`: first, next to write, end
    size_t next;
    size_t end;
    size_t depth;
    bool inline_;      // the element itself sits in flowing text: no layout around it
    bool innerInline;  // its content flows: it has text besides child elements
};

}  // namespace

bool Impl::Write(const XmlNode& root, std::string& out, qm::xml::WrittenDocument* written) {
    std::vector<const XmlNode*> pending;  // the element children of every open element
    std::vector<Frame> frames;
    AttributeNames names;

    auto indent = [&out](size_t depth) { out.append(std::min(depth, kMaxIndent), '\t'); };
    auto appendTag = [&](const XmlNode& node) {
        const std::string_view tag = node.TagUtf8();
        // Namespace declarations and prefixed names are resolved by the parser, which may
        // order or refuse them otherwise.
        if (written != nullptr &&
            (tag.substr(0, 5) == "xmlns" || tag.find(':') != std::string_view::npos)) {
            written->readsBack = false;
        }
        out.append(tag);
    };
    auto appendValue = [&](const XmlNode& node, std::string_view text) {
        const size_t begin = out.size();
        const bool kept = qm::xml::AppendEscaped(out, text);
        if (written != nullptr) {
            written->values.push_back({const_cast<XmlNode*>(&node), begin, out.size()});
            written->readsBack = written->readsBack && kept;
        }
    };

    // Writes the start tag of `node`; a node without element children is written whole.
    auto open = [&](const XmlNode& node, size_t depth, bool inFlow) {
        if (!node.tag_->validName) {
            return false;
        }
        if (!inFlow) {
            indent(depth);
        }
        out += '<';
        appendTag(node);
        size_t first = pending.size();
        names.Clear();
        for (auto it = node.ChildsBegin(), end = node.ChildsEnd(); it != end; ++it) {
            const XmlNode& child = **it;
            if (child.IsKey() && child.Size() == 0 && names.FirstUse(child.tag_)) {
                if (!child.tag_->validName) {
                    return false;
                }
                out += ' ';
                appendTag(child);
                out += "=\"";
                appendValue(child, child.ValueUtf8());
                out += '"';
                // The parser puts attributes before the element's other children.
                if (written != nullptr && pending.size() != first) {
                    written->readsBack = false;
                }
            } else {
                // A key written as an element reads back as an element.
                if (written != nullptr && child.IsKey()) {
                    written->readsBack = false;
                }
                pending.push_back(&child);
            }
        }
        std::string_view text = node.ValueUtf8();
        if (pending.size() == first) {
            if (text.empty()) {
                out += "/>";
            } else {
                out += '>';
                appendValue(node, text);
                out += "</";
                appendTag(node);
                out += '>';
            }
            if (!inFlow) {
                out += '\n';
            }
            return true;
        }
        out += '>';
        bool innerInline = inFlow || !text.empty();
        // Blank text among child elements reads back as layout, and is dropped.
        if (written != nullptr && !text.empty() && qm::xml::IsBlank(text)) {
            written->readsBack = false;
        }
        appendValue(node, text);
        if (!innerInline) {
            out += '\n';
        }
        frames.push_back({&node, first, first, pending.size(), depth, inFlow, innerInline});
        // Deeper than the parser goes: the text would not read back at all.
        if (written != nullptr && frames.size() >= qm::xml::kMaxDepth) {
            written->readsBack = false;
        }
        return true;
    };

    if (!open(root, 0, false)) {
        return false;
    }
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.next < frame.end) {
            const XmlNode* child = pending[frame.next++];
            // The arguments are read before open() may push and move `frame`.
            if (!open(*child, frame.depth + 1, frame.innerInline)) {
                return false;
            }
            continue;
        }
        if (!frame.innerInline) {
            indent(frame.depth);
        }
        out += "</";
        appendTag(*frame.node);
        out += '>';
        if (!frame.inline_) {
            out += '\n';
        }
        pending.resize(frame.first);
        frames.pop_back();
    }
    return true;
}

bool qm::xml::WriteDocument(XmlDocument& document, WrittenDocument& written) noexcept {
    const bool ok = qm::detail::NoThrow(false, [&] {
        written.text.clear();
        written.values.clear();
        written.readsBack = document.IsOK();
        return written.readsBack && Impl::Write(document.Root(), written.text, &written);
    });
    if (!ok) {
        written.text.clear();
        written.values.clear();
        written.readsBack = false;
    }
    return ok;
}

void qm::xml::SetEscapedValue(XmlNode& node, std::string_view escaped) {
    node.SetValueUtf8(qm::xml::Unescaped(escaped));
}

bool qm::xml::IsWrittenForm(std::string_view escaped) {
    std::string written;
    return qm::xml::AppendEscaped(written, qm::xml::Unescaped(escaped)) && written == escaped;
}
