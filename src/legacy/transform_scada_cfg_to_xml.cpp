#include <qmsupport/images/cx_image.h>
#include <qmsupport/legacy/transform_scada_cfg_to_xml.h>
#include <qmsupport/platform/display_metrics.h>
#include <qmsupport/platform/paths.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/identifiers.h>
#include <qmsupport/xml/cfg_file_reader.h>

#include "legacy/legacy_text.h"
#include "toolsapi/no_throw.h"

#include <cwchar>
#include <string>

namespace {

using XmlNode = XmlDocument::XmlNode;
using namespace qm::legacy;

// The file `file` of a screen in `screenDirectory`, relative to the configuration directory.
QMWideString RelativeToCfg(const QMWideString& screenDirectory, const QMWideString& file) {
    QMWideString full, relative;
    RelativePathToFullPath(screenDirectory.c_str(), file.c_str(), full);
    PathRelative2PathTo(QMTarvioSetup::Get().CfgPath().c_str(), full.c_str(), relative);
    return relative;
}

// The installation's scada directory: the program's directory cut twice, then cfg\scada.
// A program outside any directory is taken to run where the application file was found,
// one level below the installation root.
QMWideString ScadaDirectory() {
    QMWideString appPath;
    GetAppPath(appPath);
    std::wstring path = appPath.str();
    for (int cut = 0; cut < 2; ++cut) {
        const size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos) {
            return QMWideString(L"..\\cfg\\scada\\");
        }
        path.resize(slash);
    }
    return QMWideString(path + L"\\cfg\\scada\\");
}

// Reads every file that a child of `list` names in its "File" (found from the scada
// directory) into a document, keeping the converted copy under the file's name with
// `extension` in the configuration directory, and hands the document to `convert`.
template <class Convert>
void ForEachListedFile(const XmlNode* list, const wchar_t* extension, Convert convert) {
    const QMWideString scadaDirectory = ScadaDirectory();
    const QMWideString& cfgPath = QMTarvioSetup::Get().CfgPath();
    ForEachElement(list, [&](const XmlNode* entry) {
        const QMWideString file = entry->Value(L"File", L"");
        if (file.IsEmpty()) {
            return;
        }
        QMWideString full;
        RelativePathToFullPath(scadaDirectory.c_str(), file.c_str(), full);
        const SplitPath split(full);
        XmlDocument document;
        if (QMCfgFile2XmlDocument(full.c_str(), (cfgPath + split.name + extension).c_str(),
                                  document)) {
            convert(split, document);
        }
    });
}

}  // namespace

QMTransformScadaCfgToXml::~QMTransformScadaCfgToXml() = default;

void QMTransformScadaCfgToXml::CreateGUID(XmlNode* node) {
    node->SetValue(L"id", NewGUIDText().c_str());
}

void QMTransformScadaCfgToXml::DimensionPixels2mm(XmlNode* target, XmlNode* legacy,
                                                  double horizontalFactor, double verticalFactor) {
    target->SetValue(L"x",
                     Format2(Decimal(legacy->Value(L"/Left", L"")) * horizontalFactor).c_str());
    target->SetValue(L"y", Format2(Decimal(legacy->Value(L"/Top", L"")) * verticalFactor).c_str());
    target->SetValue(L"width",
                     Format2(Decimal(legacy->Value(L"/Width", L"")) * horizontalFactor).c_str());
    target->SetValue(L"height",
                     Format2(Decimal(legacy->Value(L"/Height", L"")) * verticalFactor).c_str());
}

void QMTransformScadaCfgToXml::PlaceControl(XmlNode* target, XmlNode* legacy,
                                            double horizontalFactor, double verticalFactor,
                                            uint32_t colour) {
    CreateGUID(target);
    DimensionPixels2mm(target, legacy, horizontalFactor, verticalFactor);
    target->SetValue(L"color", FormatColour(colour).c_str());
}

void QMTransformScadaCfgToXml::ModifyFormatStyleXml(const wchar_t* name,
                                                    const XmlDocument& legacyStyle) {
    const XmlNode& legacy = legacyStyle.Root();
    XmlDocument style;
    if (!style.Create(L"design")) {
        return;
    }
    XmlNode& root = style.Root();
    CreateGUID(&root);
    root.SetValue(L"name", name);
    root.SetValue(L"font", legacy.Value(L"/Style/Font", L"Arial").c_str());
    const int italic = Flag(legacy.Value(L"/Style/Italic", L"F")) ? 1 : 0;
    const int bold = Flag(legacy.Value(L"/Style/Bold", L"F")) ? 1 : 0;
    QMWideString text;
    text.Format(L"%d", 2 * italic + bold);
    root.SetValue(L"style", text.c_str());
    root.SetValue(L"size", Format2(Wtoi(legacy.Value(L"/Style/Size", L"10").str())).c_str());
    const unsigned long red =
        static_cast<unsigned long>(Wtoi(legacy.Value(L"/Style/Red", L"0").str()));
    const unsigned long green =
        static_cast<unsigned long>(Wtoi(legacy.Value(L"/Style/Green", L"0").str()));
    const unsigned long blue =
        static_cast<unsigned long>(Wtoi(legacy.Value(L"/Style/Blue", L"0").str()));
    root.SetValue(L"color", FormatColour((red + 256 * green + 65536 * blue) & 0xFFFFFF).c_str());
    // The conversion reports no failed save; the save is atomic, so an old file stays whole.
    (void)style.SaveAs((QMTarvioSetup::Get().CfgPath() + name + L".xsty").c_str());
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlFormuleNode(XmlNode* target, XmlNode* legacy,
                                                               double horizontalFactor,
                                                               double verticalFactor) {
    CreateGUID(target);
    DimensionPixels2mm(target, legacy, horizontalFactor, verticalFactor);
    const QMWideString var = legacy->Value(L"Var", L"");
    target->SetValue(L"value", var.IsEmpty() ? L"" : (L"[" + var + L"]").c_str());
    const QMWideString align = legacy->Value(L"Align", L"");
    target->SetValue(L"horizontalAlign", align == L"LEFT"    ? L"1"
                                         : align == L"RIGHT" ? L"2"
                                                             : L"16");
    target->SetValue(L"verticalAlign", L"16");
    QMWideString format;
    format.Format(L".%d", Wtoi(legacy->Value(L"Decimal", L"").str()));
    target->SetValue(L"format", format.c_str());
    target->SetValue(L"thousandSeparator", L"F");

    const QMWideString styleName = legacy->Value(L"Style", L"");
    XmlDocument style;
    if (!styleName.IsEmpty() &&
        style.Load((QMTarvioSetup::Get().CfgPath() + styleName + L".xsty").c_str())) {
        const XmlNode& root = style.Root();
        target->SetValue(L"styleFile", styleName.c_str());
        target->SetValue(L"font", root.Value(L"font", L"Arial").c_str());
        target->SetValue(L"style", root.Value(L"style", L"0").c_str());
        target->SetValue(L"orientation", root.Value(L"orientation", L"0.0").c_str());
        target->SetValue(L"size", root.Value(L"size", L"10.0").c_str());
        target->SetValue(L"color", root.Value(L"color", FormatColour(0x6060C0).c_str()).c_str());
    } else {
        target->SetValue(L"styleFile", L"");
        target->SetValue(L"font", L"Arial");
        target->SetValue(L"style", L"0");
        target->SetValue(L"orientation", L"0.0");
        target->SetValue(L"size", L"10.0");
        target->SetValue(L"color", FormatColour(0x6060C0).c_str());
    }
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlScreenNode(XmlNode* target, XmlNode* legacy,
                                                              double horizontalFactor,
                                                              double verticalFactor) {
    PlaceControl(target, legacy, horizontalFactor, verticalFactor, 0xFF0000);
    const QMWideString name = legacy->Value(L"/Action/ShowScreen/Name", L"");
    target->SetValue(L"value", name.IsEmpty() ? L"" : (name + L".xscn").c_str());
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlForceVariablesNode(XmlNode* target,
                                                                      XmlNode* legacy,
                                                                      double horizontalFactor,
                                                                      double verticalFactor) {
    PlaceControl(target, legacy, horizontalFactor, verticalFactor, 0xFF7F00);
    ForEachElement(legacy->Node(L"/Action/ForceVariables/Vars"), [&](const XmlNode* var) {
        if (XmlNode* variable = target->NewChild(L"variable")) {
            variable->SetValue(L"name", var->Value(L"Name", L"").c_str());
            variable->SetValue(L"value", var->Value(L"Value", L"").c_str());
        }
    });
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlShowDeviceNode(XmlNode* target, XmlNode* legacy,
                                                                  double horizontalFactor,
                                                                  double verticalFactor) {
    PlaceControl(target, legacy, horizontalFactor, verticalFactor, 0x7F7F00);
    if (XmlNode* device = target->NewChild(L"device")) {
        device->SetValue(L"value", legacy->Value(L"/Action/ShowValues/Device", L"").c_str());
    }
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlShowLoggerNode(XmlNode* target, XmlNode* legacy,
                                                                  double horizontalFactor,
                                                                  double verticalFactor) {
    PlaceControl(target, legacy, horizontalFactor, verticalFactor, 0x7F7F00);
    XmlNode* logger = target->NewChild(L"logger");
    if (logger == nullptr) {
        return;
    }
    logger->SetValue(L"groupBy", legacy->Value(L"/Action/ShowLogger/GroupBy", L"WEEK").c_str());
    logger->SetValue(L"period", legacy->Value(L"/Action/ShowLogger/Period", L"AUTO").c_str());
    ForEachElement(legacy->Node(L"/Action/ShowLogger/Vars"), [&](const XmlNode* var) {
        if (XmlNode* child = logger->NewChild(L"var")) {
            child->SetValue(var->Value(L"Name", L"").c_str());
        }
    });
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlShowAlarmsNode(XmlNode* target, XmlNode* legacy,
                                                                  double horizontalFactor,
                                                                  double verticalFactor) {
    PlaceControl(target, legacy, horizontalFactor, verticalFactor, 0x7F7F00);
    if (XmlNode* alarm = target->NewChild(L"alarm")) {
        alarm->SetValue(L"groupId",
                        legacy->Value(L"/Action/ShowAlarms/AlarmGroup", L"ALL").c_str());
        alarm->SetValue(L"groupBy", legacy->Value(L"/Action/ShowAlarms/GroupBy", L"WEEK").c_str());
        alarm->SetValue(L"totalize", legacy->Value(L"/Action/ShowAlarms/Totalize", L"F").c_str());
    }
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlFloodfillNode(XmlNode* target, XmlNode* legacy,
                                                                 double horizontalFactor,
                                                                 double verticalFactor) {
    CreateGUID(target);
    // A marker of 18 by 18 pixels whose hot spot is the legacy point.
    const double x = Decimal(legacy->Value(L"/X", L"")) * horizontalFactor;
    const double y = Decimal(legacy->Value(L"/Y", L"")) * verticalFactor;
    const double width = 18 * horizontalFactor;
    const double height = 18 * verticalFactor;
    target->SetValue(L"x", Format2(x - 0.5).c_str());
    target->SetValue(L"y", Format2(y - height + 0.5).c_str());
    target->SetValue(L"width", Format2(width).c_str());
    target->SetValue(L"height", Format2(height).c_str());
    target->SetValue(L"hotX", Format2(x).c_str());
    target->SetValue(L"hotY", Format2(y).c_str());
    target->SetValue(L"color", FormatColour(0x7F3C00).c_str());
    target->SetValue(L"simulate", L"F");
    ForEachElement(legacy->Node(L"Colors"), [&](const XmlNode* colour) {
        XmlNode* control = target->NewChild(L"control");
        if (control == nullptr) {
            return;
        }
        const QMWideString rgb = colour->Value(L"RGB", L"");
        const unsigned long value = static_cast<unsigned long>(HtoL(rgb.c_str(), rgb.Length()));
        QMWideString text;
        text.Format(L"%02X%02X%02X", static_cast<unsigned>(value & 0xFF),
                    static_cast<unsigned>(value >> 8 & 0xFF),
                    static_cast<unsigned>(value >> 16 & 0xFF));
        control->SetValue(L"color", text.c_str());
        if (const XmlNode* expression = colour->Node(L"/Expression")) {
            QMWideString condition;
            Expression2Condition(condition, *expression);
            control->SetValue(L"condition", condition.c_str());
        }
    });
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXmlConditionedNode(XmlNode* target, XmlNode* legacy,
                                                                   double horizontalFactor,
                                                                   double verticalFactor) {
    PlaceControl(target, legacy, horizontalFactor, verticalFactor, 0x60C060);
    ForEachElement(legacy->Node(L"Bitmaps"), [&](const XmlNode* bitmap) {
        XmlNode* control = target->NewChild(L"control");
        if (control == nullptr) {
            return;
        }
        if (const XmlNode* expression = bitmap->Node(L"/Expression")) {
            QMWideString condition;
            Expression2Condition(condition, *expression);
            control->SetValue(L"condition", condition.c_str());
        }
        XmlNode* image = control->NewChild(L"image");
        if (image == nullptr) {
            return;
        }
        CreateGUID(image);
        for (const wchar_t* key : {L"x", L"y", L"width", L"height"}) {
            image->SetValue(key, target->Value((std::wstring(L"/") + key).c_str(), L"").c_str());
        }
        image->SetValue(L"color", FormatColour(0xC06060).c_str());
        image->SetValue(L"valueFile", bitmap->Value(L"/File", L"").c_str());
        image->SetValue(L"horizontalAlign", L"16");
        image->SetValue(L"verticalAlign", L"16");
        image->SetValue(L"maintainAspectRatio", L"T");
        image->SetValue(L"maintainRealSize", L"T");
    });
}

void QMTransformScadaCfgToXml::ModifyFormatScadaXml(const wchar_t* name,
                                                    const XmlDocument& legacyScreen) {
    const qm::platform::DisplayMetrics& display = qm::platform::DisplayMetrics::Current();
    const double horizontalFactor = display.widthMillimetres / display.widthPixels;
    const double verticalFactor = display.heightMillimetres / display.heightPixels;
    const XmlNode& legacy = legacyScreen.Root();
    const QMWideString& cfgPath = QMTarvioSetup::Get().CfgPath();

    XmlDocument screen;
    if (!screen.Create(L"design")) {
        return;
    }
    XmlNode& root = screen.Root();
    CreateGUID(&root);
    root.SetValue(L"name", name);
    XmlNode* page = root.NewChild(L"page");
    if (page == nullptr) {
        return;
    }
    double width = Decimal(legacy.Value(L"/Screen/Image/Width", L""));
    double height = Decimal(legacy.Value(L"/Screen/Image/Height", L""));
    const bool scalable = Flag(legacy.Value(L"/Screen/Image/Scalable", L""));
    const QMWideString background = legacy.Value(L"/Screen/Image/File", L"");

    QMWideString imagePath;
    RelativePathToFullPath(cfgPath.c_str(), background.c_str(), imagePath);
    QMNarrowString imagePathUtf8;
    Utf16ToUtf8(imagePathUtf8, imagePath.c_str());
    const CxImage image(background.IsEmpty() ? "" : imagePathUtf8.c_str(), 0);
    const bool loaded = image.IsValid();
    if (width <= 0) {
        width = loaded ? image.GetWidth() : display.widthPixels;
    }
    if (height <= 0) {
        height = loaded ? image.GetHeight() : display.heightPixels;
    }
    page->SetValue(L"width", Format2(width * horizontalFactor).c_str());
    page->SetValue(L"height", Format2(height * verticalFactor).c_str());
    page->SetValue(L"xgrid", L"0.0");
    page->SetValue(L"ygrid", L"0.0");
    page->SetValue(L"backgroundFile", background.c_str());
    if (scalable) {
        page->SetValue(L"horizontalAlign", L"16");
        page->SetValue(L"verticalAlign", L"16");
        page->SetValue(L"maintainAspectRatio", L"F");
        page->SetValue(L"maintainRealSize", L"F");
    } else {
        page->SetValue(L"maintainAspectRatio", L"T");
        page->SetValue(L"maintainRealSize", L"T");
        page->SetValue(L"horizontalAlign", loaded && image.GetWidth() > width ? L"1" : L"16");
        page->SetValue(L"verticalAlign", loaded && image.GetHeight() > height ? L"4" : L"16");
    }

    ForEachElement(legacy.Node(L"/Screen/Controls"), [&](XmlNode* control) {
        const QMWideString type = control->Value(L"/Type", L"");
        using Converter = void (QMTransformScadaCfgToXml::*)(XmlNode*, XmlNode*, double, double);
        const wchar_t* tag = nullptr;
        Converter convert = nullptr;
        if (type == L"LABEL") {
            tag = L"formule";
            convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlFormuleNode;
        } else if (type == L"ACTION") {
            if (control->Node(L"/Action/ShowScreen")) {
                tag = L"screen";
                convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlScreenNode;
            } else if (control->Node(L"/Action/ForceVariables")) {
                tag = L"forceVariables";
                convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlForceVariablesNode;
            } else if (control->Node(L"/Action/ShowValues")) {
                tag = L"show";
                convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlShowDeviceNode;
            } else if (control->Node(L"/Action/ShowLogger")) {
                tag = L"show";
                convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlShowLoggerNode;
            } else if (control->Node(L"/Action/ShowAlarms")) {
                tag = L"show";
                convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlShowAlarmsNode;
            }
        } else if (type == L"FLOODFILL") {
            tag = L"floodfill";
            convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlFloodfillNode;
        } else if (type == L"BITMAP") {
            tag = L"conditioned";
            convert = &QMTransformScadaCfgToXml::ModifyFormatScadaXmlConditionedNode;
        }
        if (convert != nullptr) {
            if (XmlNode* element = page->NewChild(tag)) {
                (this->*convert)(element, control, horizontalFactor, verticalFactor);
            }
        }
    });
    // The conversion reports no failed save; the save is atomic, so an old file stays whole.
    (void)screen.SaveAs((cfgPath + name + L".xscn").c_str());
}

bool QMTransformScadaCfgToXml::ScadaQMCfgFile2Xml(XmlNode* target) {
    // Out of memory: what was written stays, the rest is skipped.
    return qm::detail::NoThrow(true, [&] {
        XmlDocument application;
        if (!QMCfgFile2XmlDocument(L"..\\cfg\\scada\\default.apl", L"", application)) {
            return false;
        }
        const XmlNode& app = application.Root();
        if (target != nullptr) {
            target->SetValue(L"StartScreen", app.Value(L"Screens/StartScreen", L"").c_str());
        }
        ForEachListedFile(app.Node(L"Styles"), L".xsty",
                          [&](const SplitPath& split, const XmlDocument& style) {
                              ModifyFormatStyleXml(split.name.c_str(), style);
                          });
        ForEachListedFile(
            app.Node(L"Screens"), L".xscn", [&](const SplitPath& split, XmlDocument& screen) {
                XmlNode* background = screen.Node(L"Screen/Image/File");
                if (background != nullptr && !background->Value().IsEmpty()) {
                    background->SetValue(
                        RelativeToCfg(split.directory, background->Value()).c_str());
                }
                ForEachElement(screen.Node(L"Screen/Controls"), [&](XmlNode* control) {
                    if (control->Value(L"Type", L"") != L"BITMAP") {
                        return;
                    }
                    ForEachElement(control->Node(L"Bitmaps"), [&](XmlNode* bitmap) {
                        const QMWideString bitmapFile = bitmap->Value(L"File", L"");
                        if (!bitmapFile.IsEmpty()) {
                            bitmap->SetValue(L"File",
                                             RelativeToCfg(split.directory, bitmapFile).c_str());
                        }
                    });
                });
                ModifyFormatScadaXml(split.name.c_str(), screen);
            });
        return true;
    });
}
