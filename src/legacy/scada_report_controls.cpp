#include "legacy/scada_report_controls.h"

#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/date_time.h>
#include <qmsupport/toolsapi/identifiers.h>

#include "legacy/floodfill_region.h"
#include "legacy/legacy_text.h"

namespace {

using XmlNode = XmlDocument::XmlNode;
using namespace qm::legacy;

// The text of the key or child `key`, when there is one.
bool ReadText(const XmlNode* element, const wchar_t* key, QMWideString& out) {
    const XmlNode* node = element->Node(key);
    if (node == nullptr) {
        return false;
    }
    out = node->Value();
    return true;
}

void ReadDecimal(const XmlNode* element, const wchar_t* key, double& out) {
    if (const XmlNode* node = element->Node(key)) {
        out = Decimal(node->Value());
    }
}

void ReadInteger(const XmlNode* element, const wchar_t* key, int32_t& out) {
    if (const XmlNode* node = element->Node(key)) {
        out = Wtoi(node->Value().view());
    }
}

const wchar_t* HorizontalWord(int32_t align) {
    switch (align) {
        case 1:
            return L"LEFT";
        case 2:
            return L"RIGHT";
        case 16:
            return L"CENTER";
        default:
            return nullptr;
    }
}

const wchar_t* VerticalWord(int32_t align) {
    switch (align) {
        case 4:
            return L"TOP";
        case 8:
            return L"BOTTOM";
        case 16:
            return L"CENTER";
        default:
            return nullptr;
    }
}

// A local date and time as text, turned into universal time; false when the text is no date.
bool LocalToUtc(const QMWideString& text, QMWideString& out) {
    QMDateTime local;
    if (!String2DateTime(local, text.c_str())) {
        return false;
    }
    DateTime2String(out, local.LTC2UTC(), false, false);
    return true;
}

}  // namespace

using Self = QMTransformScadaReportTo25;

// ---- the base ----

Self::QMControl::~QMControl() = default;

bool Self::QMControl::Read(const XmlNode* element) {
    ReadDecimal(element, L"x", x);
    ReadDecimal(element, L"y", y);
    ReadDecimal(element, L"width", width);
    ReadDecimal(element, L"height", height);
    if (const XmlNode* node = element->Node(L"color")) {
        color = static_cast<uint32_t>(Hexadecimal(node->Value()));
    }
    ReadText(element, L"id", id);
    ReadInteger(element, L"horizontalAlign", horizontalAlign);
    ReadInteger(element, L"verticalAlign", verticalAlign);
    style = std::make_unique<StyleRecord>();
    if (!style->Read(element)) {
        style.reset();
    }
    return true;
}

XmlNode* Self::QMControl::appendElement(XmlNode* parent, PageContext* context, const wchar_t* tag) {
    XmlNode* element = parent->NewChild(tag);
    if (element != nullptr) {
        QMControl::Write(element, context);
    }
    return element;
}

bool Self::QMControl::Write(XmlNode* element, PageContext* context) {
    if (id.IsEmpty()) {
        id = NewGUIDText();
    }
    element->SetValue(L"id", id.c_str());
    element->SetValue(L"x", Format2(x * context->xScale).c_str());
    element->SetValue(L"y", Format2(y * context->yScale).c_str());
    element->SetValue(L"width", Format2(width * context->xScale).c_str());
    element->SetValue(L"height", Format2(height * context->yScale).c_str());
    element->SetValue(L"color", FormatColour(color).c_str());
    if (const wchar_t* word = HorizontalWord(horizontalAlign)) {
        element->SetValue(L"horizontalAlign", word);
    }
    if (const wchar_t* word = VerticalWord(verticalAlign)) {
        element->SetValue(L"verticalAlign", word);
    }
    if (style != nullptr) {
        style->Write(element);
    }
    return true;
}

// ---- texts and links ----

bool Self::QMControlLabel::Read(const XmlNode* element) {
    QMControl::Read(element);
    text = element->Value(L"value", L"");
    return true;
}

bool Self::QMControlLabel::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"label");
    if (element == nullptr) {
        return false;
    }
    if (XmlNode* child = element->NewChild(L"text")) {
        child->SetValue(L"textStr", text.c_str());
    }
    return true;
}

bool Self::QMControlScreen::Read(const XmlNode* element) {
    QMControl::Read(element);
    value = element->Value(L"value", L"");
    return true;
}

bool Self::QMControlScreen::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"showScada");
    if (element == nullptr) {
        return false;
    }
    std::wstring screen = value.str();
    static constexpr std::wstring_view kExtension = L".xscn";
    if (screen.ends_with(kExtension)) {
        screen.resize(screen.size() - kExtension.size());
    }
    element->SetValue(L"scada", screen.c_str());
    return true;
}

bool Self::QMControlCommand::Read(const XmlNode* element) {
    QMControl::Read(element);
    ReadText(element, L"value", appName);
    ReadText(element, L"valueParam", appParam);
    return true;
}

bool Self::QMControlCommand::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"launchApp");
    if (element == nullptr) {
        return false;
    }
    if (!appName.IsEmpty()) {
        element->SetValue(L"appName", appName.c_str());
    }
    if (!appParam.IsEmpty()) {
        element->SetValue(L"appParam", appParam.c_str());
    }
    return true;
}

bool Self::QMControlForceVariables::Read(const XmlNode* element) {
    QMControl::Read(element);
    ForEachElement(element, [&](const XmlNode* child) {
        if (child->Tag() == L"variable") {
            names.push_back(VariableInBrackets(child->Value(L"name", L"")));
            values.push_back(child->Value(L"value", L""));
        }
    });
    return true;
}

bool Self::QMControlForceVariables::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"forceValues");
    if (element == nullptr) {
        return false;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (XmlNode* variable = element->NewChild(L"variable")) {
            variable->SetValue(L"id", names[i].c_str());
            variable->SetValue(L"value", values[i].c_str());
        }
    }
    return true;
}

// ---- numbers and dates ----

bool Self::QMControlFormule::Read(const XmlNode* element) {
    QMControl::Read(element);
    value = Replaced(element->Value(L"value", L""), L'#', L':');
    thousandSeparator = Flag(element->Value(L"thousandSeparator", L""));
    readFormat(element->Value(L"format", L""));
    return true;
}

// "I.D": one digit of integers or decimals, or two where a leading "0" asks for padding to
// that many digits. A format without a dot, or starting with one, keeps the defaults.
void Self::QMControlFormule::readFormat(const QMWideString& format) {
    integers = -1;
    decimals = 3;
    leftPadding = -1;
    rightPadding = -1;
    const std::wstring& text = format.str();
    const size_t dot = text.find(L'.');
    if (text.empty() || dot == std::wstring::npos || dot == 0) {
        return;
    }
    const std::wstring_view integerPart(text.data(), dot);
    const std::wstring_view decimalPart = std::wstring_view(text).substr(dot + 1);
    if (integerPart.size() == 1) {
        integers = integerPart[0] - L'0';
    } else if (integerPart.size() == 2) {
        integers = integerPart[1] - L'0';
        if (integerPart[0] == L'0' && integers >= 0) {
            leftPadding = integers;
        }
    }
    if (decimalPart.empty()) {
        decimals = -1;
    } else if (decimalPart.size() == 1) {
        decimals = decimalPart[0] - L'0';
    } else if (decimalPart.size() == 2) {
        decimals = decimalPart[1] - L'0';
        if (decimalPart[0] == L'0' && decimals >= 0) {
            rightPadding = decimals;
        }
    }
}

bool Self::QMControlFormule::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"formule");
    if (element == nullptr) {
        return false;
    }
    element->SetValue(L"value", value.c_str());
    element->SetValue(L"integers", FormatInteger(integers).c_str());
    element->SetValue(L"decimals", FormatInteger(decimals).c_str());
    element->SetValue(L"leftPadding", FormatInteger(leftPadding).c_str());
    element->SetValue(L"rightPadding", FormatInteger(rightPadding).c_str());
    element->SetValue(L"thousandSeparator", FlagText(thousandSeparator));
    return true;
}

QMWideString Self::QMControlDate::Pattern(const QMWideString& format) {
    enum class State { Outside, Opening, Inside };
    State state = State::Outside;
    std::wstring pattern;
    pattern.reserve(format.Length() + 2);
    for (const wchar_t c : format.str()) {
        switch (state) {
            case State::Outside:
                if (c == L'"') {
                    state = State::Opening;
                } else {
                    pattern += c == L'h' ? L'H' : c;
                }
                break;
            case State::Opening:
                if (c == L'"') {
                    state = State::Outside;
                } else if (c == L'\'') {
                    pattern += L"''";
                } else {
                    pattern += L'\'';
                    pattern += c;
                    state = State::Inside;
                }
                break;
            case State::Inside:
                if (c == L'"') {
                    pattern += L'\'';
                    state = State::Outside;
                } else if (c == L'\'') {
                    pattern += L"''";
                } else {
                    pattern += c;
                }
                break;
        }
    }
    return QMWideString(std::move(pattern));
}

bool Self::QMControlDate::Read(const XmlNode* element) {
    QMControl::Read(element);
    ReadText(element, L"value", value);
    ReadText(element, L"field", field);
    pattern = Pattern(element->Value(L"format", L""));
    return true;
}

bool Self::QMControlDate::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"date");
    if (element == nullptr) {
        return false;
    }
    QMWideString universal;
    if (LocalToUtc(value, universal)) {
        value = universal;
    }
    if (!value.IsEmpty()) {
        element->SetValue(L"value", value.c_str());
    }
    if (!field.IsEmpty()) {
        element->SetValue(L"field", field.c_str());
    }
    element->SetValue(L"pattern", pattern.c_str());
    return true;
}

// ---- views ----

void Self::QMControlShow::readEventGroup(const XmlNode* view) {
    kind = 3;
    groupId = view->Value(L"groupId", L"");
    if (groupId == L"ALL") {
        groupId.Clear();
    }
    groupBy = view->Value(L"groupBy", L"");
    totalize = Flag(view->Value(L"totalize", L""));
}

bool Self::QMControlShow::Read(const XmlNode* element) {
    QMControl::Read(element);
    if (const XmlNode* view = element->Node(L"device")) {
        kind = 1;
        device = view->Value(L"value", L"");
    } else if (const XmlNode* view = element->Node(L"event")) {
        if (Flag(view->Value(L"logger", L""))) {
            readEventGroup(view);
        } else {
            kind = 2;
        }
    } else if (const XmlNode* view = element->Node(L"alarm")) {
        readEventGroup(view);
    } else if (const XmlNode* view = element->Node(L"report")) {
        kind = 4;
        report = view->Value(L"value", L"");
        groupBy = view->Value(L"groupBy", L"");
        begin = view->Value(L"begin", L"");
        end = view->Value(L"end", L"");
    } else if (const XmlNode* view = element->Node(L"logger")) {
        kind = view->Value(L"mode", L"") == L"TABLE" ? 6 : 5;
        groupBy = view->Value(L"groupBy", L"");
        period = view->Value(L"period", L"");
        ForEachElement(view, [&](const XmlNode* child) {
            if (child->Tag() == L"var") {
                variables.push_back(Replaced(VariableInBrackets(child->Value()), L'#', L':'));
            }
        });
    } else {
        return false;
    }
    return true;
}

bool Self::QMControlShow::Write(XmlNode* parent, PageContext* context) {
    static constexpr const wchar_t* kElements[] = {L"showDevice",         L"showActivedEvents",
                                                   L"showHistoricEvents", L"showReport",
                                                   L"showGraph",          L"showTable"};
    if (kind < 1 || kind > 6) {
        return false;
    }
    XmlNode* element = appendElement(parent, context, kElements[kind - 1]);
    if (element == nullptr) {
        return false;
    }
    switch (kind) {
        case 1:
            element->SetValue(L"device", device.c_str());
            break;
        case 3:
            if (!groupId.IsEmpty()) {
                element->SetValue(L"group", groupId.c_str());
            }
            element->SetValue(L"groupBy", groupBy.c_str());
            element->SetValue(L"totalized", FlagText(totalize));
            break;
        case 4: {
            element->SetValue(L"report", report.c_str());
            element->SetValue(L"groupBy", groupBy.c_str());
            QMWideString universal;
            if (!begin.IsEmpty() && LocalToUtc(begin, universal)) {
                element->SetValue(L"begin", universal.c_str());
            }
            if (!end.IsEmpty() && LocalToUtc(end, universal)) {
                element->SetValue(L"end", universal.c_str());
            }
            break;
        }
        case 5:
        case 6:
            element->SetValue(L"type", kind == 5 ? L"GSTD" : L"TSTD");
            element->SetValue(L"groupBy", groupBy.c_str());
            if (period != L"FILE" && period != L"AUTO") {
                element->SetValue(L"period", period.c_str());
            }
            for (const QMWideString& variable : variables) {
                if (XmlNode* child = element->NewChild(L"variable")) {
                    child->SetValue(L"id", variable.c_str());
                }
            }
            break;
        default:
            break;
    }
    return true;
}

// ---- conditions and floods ----

bool Self::QMControlConditioned::Read(const XmlNode* element) {
    QMControl::Read(element);
    ForEachElement(element, [&](const XmlNode* entry) {
        if (entry->Tag() != L"control") {
            return;
        }
        conditions.push_back(Replaced(entry->Value(L"condition", L""), L'#', L':'));
        std::unique_ptr<QMControl> inner;
        const XmlNode* source = nullptr;
        if ((source = entry->Node(L"label")) != nullptr) {
            inner = std::make_unique<QMControlLabel>(2);
        } else if ((source = entry->Node(L"date")) != nullptr) {
            inner = std::make_unique<QMControlDate>(4);
        } else if ((source = entry->Node(L"image")) != nullptr) {
            inner = std::make_unique<QMControlStaticImage>(2);
        } else if ((source = entry->Node(L"formule")) != nullptr) {
            inner = std::make_unique<QMControlFormule>(4);
        }
        if (inner != nullptr) {
            inner->notes = notes;
            if (!inner->Read(source)) {
                inner.reset();
            }
        }
        if (inner == nullptr && notes != nullptr) {
            notes->Dropped(L"control", ReadNotes::DropReason::NoControl);
        }
        controls.push_back(std::move(inner));
    });
    return true;
}

bool Self::QMControlConditioned::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"conditioned");
    if (element == nullptr) {
        return false;
    }
    for (size_t i = 0; i < conditions.size(); ++i) {
        XmlNode* entry = element->NewChild(L"control");
        if (entry == nullptr) {
            continue;
        }
        entry->SetValue(L"condition", conditions[i].c_str());
        if (i < controls.size() && controls[i] != nullptr) {
            controls[i]->Write(entry, context);
        }
    }
    return true;
}

bool Self::QMControlFloodfill::Read(const XmlNode* element) {
    QMControl::Read(element);
    hotX = -1.0;
    hotY = -1.0;
    colours.clear();
    const XmlNode* hotXNode = element->Node(L"hotX");
    const XmlNode* hotYNode = element->Node(L"hotY");
    if (hotXNode == nullptr || hotYNode == nullptr) {
        return false;
    }
    hotX = Decimal(hotXNode->Value());
    hotY = Decimal(hotYNode->Value());
    ReadDecimal(element, L"tolerance", tolerance);
    ForEachElement(element, [&](const XmlNode* child) {
        if (child->Tag() == L"control") {
            colours.emplace_back(child->Value(L"condition", L""), child->Value(L"color", L""));
        }
    });
    return true;
}

bool Self::QMControlFloodfill::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"floodFill");
    if (element == nullptr) {
        return true;
    }
    for (const auto& [condition, colour] : colours) {
        if (XmlNode* child = element->NewChild(L"control")) {
            child->SetValue(L"condition", condition.c_str());
            child->SetValue(L"color", colour.c_str());
        }
    }
    if (context != nullptr) {
        WriteFloodRegion(*this, element, *context);
    }
    return true;
}
