// The legacy configuration reader and legacy expressions.
//
// A legacy file is a list of entries: `Name { entries }` is a child element and
// `Key = value` a key, whose value is a double-quoted string with backslash escapes (\\,
// \", \', \n, \r, \t; a backslash before any other character is kept) or a bare word that runs up
// to white space or "}". "#" starts a comment up to the end of the line. Files written by older
// versions may be in Windows-1252 instead of UTF-8.

#include "toolsapi/no_throw.h"
#include "xml/xml_impl.h"

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/xml/cfg_file_reader.h>

#include <cwchar>
#include <string>
#include <string_view>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;

namespace {

// Deeper blocks are refused: no legacy file nests like that, and the trees we hand on are
// walked recursively by their readers.
constexpr size_t kMaxDepth = 1000;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsNameChar(char c) {
    return !IsSpace(c) && c != '{' && c != '}' && c != '=' && c != '"' && c != '#';
}

bool IsValidUtf8(std::string_view text) {
    QMWideString wide;
    Utf8ToUtf16(wide, text.data(), text.size());
    QMNarrowString back;
    Utf16ToUtf8(back, wide.c_str(), wide.Length());
    return back.view() == text;
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text) {
        wide.push_back(static_cast<wchar_t>(qm::xml::Windows1252(static_cast<unsigned char>(c))));
    }
    QMNarrowString utf8;
    Utf16ToUtf8(utf8, wide.c_str(), wide.size());
    return std::move(utf8.str());
}

class LegacyParser {
  public:
    LegacyParser(XmlDocument& document, std::string_view text)
        : document_(document), store_(Impl::StoreOf(document)), pool_(store_.tree), text_(text) {}

    bool Run() {
        XmlNode* block = &Impl::RootOf(document_);
        size_t depth = 0;
        for (;;) {
            SkipSpaceAndComments();
            if (at_ == text_.size()) {
                return depth == 0;  // an open block at the end is unterminated
            }
            if (text_[at_] == '}') {
                if (depth == 0) {
                    return false;
                }
                ++at_;
                --depth;
                block = block->Parent();
                continue;
            }
            const XmlNode::TagName* name = ReadName();
            if (!name) {
                return false;
            }
            SkipSpaceAndComments();
            if (at_ < text_.size() && text_[at_] == '{') {
                if (++depth > kMaxDepth) {
                    return false;
                }
                ++at_;
                XmlNode* child = Impl::NewNode(pool_, &document_, name, 0);
                Impl::Link(*block, child);
                block = child;
            } else if (at_ < text_.size() && text_[at_] == '=') {
                ++at_;
                SkipSpace();
                std::string value;
                if (!ReadValue(value)) {
                    return false;
                }
                XmlNode* key = Impl::NewNode(pool_, &document_, name, Impl::kKey);
                Impl::Link(*block, key);
                Impl::SetText(pool_, *key, value);
            } else {
                return false;
            }
        }
    }

  private:
    void SkipSpace() {
        while (at_ < text_.size() && IsSpace(text_[at_])) {
            ++at_;
        }
    }

    void SkipSpaceAndComments() {
        while (at_ < text_.size()) {
            if (IsSpace(text_[at_])) {
                ++at_;
            } else if (text_[at_] == '#') {
                size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end;
            } else {
                break;
            }
        }
    }

    // A name must also be a valid XML name, so that the converted file can be written.
    const XmlNode::TagName* ReadName() {
        size_t start = at_;
        while (at_ < text_.size() && IsNameChar(text_[at_])) {
            ++at_;
        }
        if (at_ == start) {
            return nullptr;
        }
        const XmlNode::TagName* name = store_.Intern(text_.substr(start, at_ - start), false);
        return name->validName ? name : nullptr;
    }

    bool ReadValue(std::string& value) {
        if (at_ < text_.size() && text_[at_] == '"') {
            for (++at_; at_ < text_.size(); ++at_) {
                char c = text_[at_];
                if (c == '"') {
                    ++at_;
                    return true;
                }
                if (c == '\\') {
                    if (++at_ == text_.size()) {
                        return false;
                    }
                    switch (text_[at_]) {
                        case '\\':
                        case '"':
                        case '\'':
                            c = text_[at_];
                            break;
                        case 'n':
                            c = '\n';
                            break;
                        case 'r':
                            c = '\r';
                            break;
                        case 't':
                            c = '\t';
                            break;
                        default:
                            // Windows paths were written with single backslashes
                            // ("..\images\back.bmp"): any other pair stands for itself.
                            value += '\\';
                            c = text_[at_];
                    }
                }
                value += c;
            }
            return false;  // unterminated string
        }
        size_t start = at_;
        while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '}') {
            ++at_;
        }
        value.assign(text_.substr(start, at_ - start));
        return at_ > start;
    }

    XmlDocument& document_;
    XmlDocument::Store& store_;
    qm::xml::Pool& pool_;
    std::string_view text_;
    size_t at_ = 0;
};

// Writes one operand or operation; `nested` puts an operation in parentheses.
bool AppendCondition(std::wstring& out, const XmlNode& node, size_t depth, bool nested) {
    if (depth > kMaxDepth) {
        return false;
    }
    if (const XmlNode* op = node.NodeUtf8("Operator")) {
        QMWideString name = op->Value();
        const XmlNode* left = node.NodeUtf8("Left");
        if (name.IsEmpty() || !left) {
            return false;
        }
        bool negation = wcscasecmp(name.c_str(), L"NOT") == 0;
        const XmlNode* right = negation ? nullptr : node.NodeUtf8("Right");
        if (!negation && !right) {
            return false;
        }
        if (nested) {
            out += L'(';
        }
        if (negation) {
            out += name.str();
            out += L' ';
            if (!AppendCondition(out, *left, depth + 1, true)) {
                return false;
            }
        } else {
            if (!AppendCondition(out, *left, depth + 1, true)) {
                return false;
            }
            out += L' ';
            out += name.str();
            out += L' ';
            if (!AppendCondition(out, *right, depth + 1, true)) {
                return false;
            }
        }
        if (nested) {
            out += L')';
        }
        return true;
    }
    if (const XmlNode* variable = node.NodeUtf8("Variable")) {
        out += L'[';
        out += variable->Value().str();
        out += L']';
        return true;
    }
    if (const XmlNode* constant = node.NodeUtf8("Constant")) {
        QMWideString text = constant->Value();
        out += text.str();
        return !text.IsEmpty();
    }
    // An operand block may also wrap a whole expression.
    const XmlNode* inner = node.NodeUtf8("Expression");
    return inner && AppendCondition(out, *inner, depth + 1, nested);
}

}  // namespace

bool qm::xml::ParseLegacy(XmlDocument& document, std::string_view text) {
    document.Reset();
    bool ok = qm::detail::NoThrow(false, [&] {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        std::string converted;
        if (!IsValidUtf8(text)) {
            converted = Windows1252ToUtf8(text);
            text = converted;
        }
        return document.Create(L"legacy") && LegacyParser(document, text).Run();
    });
    if (!ok) {
        document.Reset();
    }
    return ok;
}

bool QMCfgFile2XmlDocument(const wchar_t* legacyPath, const wchar_t* xmlPath,
                           XmlDocument& document) noexcept {
    document.SetFileName(xmlPath);
    bool ok = qm::detail::NoThrow(false, [&] {
        std::string text;
        return legacyPath && qm::platform::ReadFile(qm::platform::NativePath(legacyPath), text) &&
               qm::xml::ParseLegacy(document, text);
    });
    if (!ok) {
        document.Reset();
    }
    return ok;
}

bool Expression2Condition(QMWideString& out, const XmlDocument::XmlNode& node) noexcept {
    bool ok = qm::detail::NoThrow(false, [&] {
        std::wstring text;
        if (!AppendCondition(text, node, 0, false)) {
            return false;
        }
        out = QMWideString(std::move(text));
        return true;
    });
    if (!ok) {
        out.Clear();
    }
    return ok;
}
