#include <qmsupport/text/parse_xml_text.h>

#include "text/text_pieces.h"

#include <qmsupport/store/resources.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/date_time.h>
#include <qmsupport/toolsapi/numbers.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Node = XmlDocument::XmlNode;
using qm::text::TextParam;

// The text of the first key or child named `name`, or `fallback` when there is none. Keys sit
// in the same collection as child elements, so this is Value(name, fallback) without the wide
// conversions. Node texts are followed by a NUL, so the pointer is a C string.
const char* Attribute(const Node& node, std::string_view name, const char* fallback) {
    auto it = std::find_if(node.ChildsBegin(), node.ChildsEnd(),
                           [&](const Node* child) { return child->TagUtf8() == name; });
    return it != node.ChildsEnd() ? (*it)->ValueUtf8().data() : fallback;
}

// Leading white space, a sign and decimal digits, as the C runtime reads an int; out-of-range
// values saturate.
int ToInt(const char* text) {
    return static_cast<int>(std::clamp<long long>(qm::ReadInteger(text), INT_MIN, INT_MAX));
}

double ToDouble(const char* text) {
    return qm::ReadDecimal(text);
}

// A reference "IDS_<number>" loads that string resource; false for any other text.
bool LoadReference(std::string_view text, QMWideString& out) {
    constexpr std::string_view kPrefix = "IDS_";
    if (!text.starts_with(kPrefix)) {
        return false;
    }
    QMLoadString(static_cast<unsigned int>(ToInt(text.data() + kPrefix.size())), out);
    return true;
}

void RenderTextId(const Node& piece, QMWideString& out) {
    QMWideString text;
    if (LoadReference(piece.ValueUtf8(), text)) {
        out += text;
    }
}

void RenderTextStr(const Node& piece, QMWideString& out) {
    out += qm::Wide(piece.ValueUtf8());
}

void RenderTextValue(const Node& piece, QMWideString& out) {
    out += qm::text::FormatValueText(
        ToDouble(Attribute(piece, "value", "")), ToInt(Attribute(piece, "integers", "0")),
        ToInt(Attribute(piece, "decimals", "0")),
        std::string_view(Attribute(piece, "thousandSeparator", "")) == "T",
        ToInt(Attribute(piece, "leftPadding", "0")) > 0,
        ToInt(Attribute(piece, "rightPadding", "0")) > 0);
}

void RenderTextDate(const Node& piece, QMWideString& out) {
    const char* text = Attribute(piece, "date", "");
    QMDateTime date;
    if (String2DateTime(date, text)) {
        out +=
            qm::text::FormatDateByPattern(qm::Wide(Attribute(piece, "pattern", "")).view(), date);
    } else {
        out += qm::Wide(text);
    }
}

TextParam ReadParam(const Node& child) {
    const std::string_view tag = child.TagUtf8();
    const std::string_view text = child.ValueUtf8();
    if (tag == "paramStr") {
        return qm::Wide(text).str();
    }
    if (tag == "paramDouble") {
        return ToDouble(text.data());
    }
    if (tag == "paramInteger") {
        return ToInt(text.data());
    }
    QMWideString resource;
    if (tag == "paramId" && LoadReference(text, resource)) {
        return std::move(resource.str());
    }
    return std::monostate{};
}

void RenderTextParams(const Node& piece, QMWideString& out) {
    QMWideString format;
    const std::string_view textId = Attribute(piece, "textId", "");
    if (textId.empty()) {
        format = qm::Wide(Attribute(piece, "textStr", ""));
    } else if (!LoadReference(textId, format)) {
        format = qm::Wide(textId);
    }
    std::vector<TextParam> params;
    for (auto it = piece.ChildsBegin(); it != piece.ChildsEnd(); ++it) {
        if ((*it)->TagUtf8().starts_with("param")) {
            params.push_back(ReadParam(**it));
        }
    }
    qm::text::AppendFormattedParams(out, format.view(), params);
}

struct PieceRenderer {
    std::string_view tag;
    void (*render)(const Node& piece, QMWideString& out);
};

constexpr PieceRenderer kPieces[] = {
    {"textId", RenderTextId},     {"textStr", RenderTextStr},       {"textValue", RenderTextValue},
    {"textDate", RenderTextDate}, {"textParams", RenderTextParams},
};

}  // namespace

// Every entry of the template's collection is a piece, keys included, exactly as the tree holds
// them; entries with other tags are skipped.
QMWideString& ParseXMLText(const XmlDocument::XmlNode& node, QMWideString& out) {
    out.Clear();
    if (node.TagUtf8() != "text") {
        return out;
    }
    for (auto it = node.ChildsBegin(); it != node.ChildsEnd(); ++it) {
        const std::string_view tag = (*it)->TagUtf8();
        auto piece = std::find_if(std::begin(kPieces), std::end(kPieces),
                                  [&](const PieceRenderer& p) { return p.tag == tag; });
        if (piece != std::end(kPieces)) {
            piece->render(**it, out);
        }
    }
    return out;
}

QMWideString& ParseXMLText(const QMNarrowString& utf8, QMWideString& out) {
    constexpr std::string_view kOpen = "<text>";
    constexpr std::string_view kClose = "</text>";
    const std::string& text = utf8.str();
    XmlDocument document;
    bool parsed;
    if (text.starts_with(kOpen)) {
        parsed = document.Parse(text.data(), text.size());
    } else {
        std::string wrapped;
        wrapped.reserve(kOpen.size() + text.size() + kClose.size());
        wrapped.append(kOpen).append(text).append(kClose);
        parsed = document.Parse(wrapped.data(), wrapped.size());
    }
    if (parsed) {
        return ParseXMLText(document.Root(), out);
    }
    Utf8ToUtf16(out, text.data(), text.size());
    return out;
}
