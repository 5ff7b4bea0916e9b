#pragma once

#include <qmsupport/export.h>
#include <qmsupport/xml/xml_document.h>

#include <cstdint>

// Converts the legacy SCADA configuration once into XML: the application file
// "..\cfg\scada\default.apl" lists the legacy styles and screens; each style becomes a style
// file (name + ".xsty") and each screen a screen file (name + ".xscn") in the configuration
// directory, with positions turned from display pixels into millimetres.
//
// An object serves one run: create it, call ScadaQMCfgFile2Xml once, discard it.
class QMSUPPORT_API QMTransformScadaCfgToXml {
  public:
    QMTransformScadaCfgToXml() = default;
    QMTransformScadaCfgToXml(const QMTransformScadaCfgToXml&) = default;
    QMTransformScadaCfgToXml& operator=(const QMTransformScadaCfgToXml&) = default;
    virtual ~QMTransformScadaCfgToXml();

    // Sets "StartScreen" of `target` and converts every style and screen. False when the
    // application file cannot be read (nothing is done then).
    bool ScadaQMCfgFile2Xml(XmlDocument::XmlNode* target);

  private:
    using XmlNode = XmlDocument::XmlNode;

    // Converts one legacy screen tree into the screen file `name` + ".xscn" of the
    // configuration directory. Paths in the tree are taken as already relative to that
    // directory.
    void ModifyFormatScadaXml(const wchar_t* name, const XmlDocument& legacyScreen);
    void ModifyFormatStyleXml(const wchar_t* name, const XmlDocument& legacyStyle);
    void CreateGUID(XmlNode* node);
    void DimensionPixels2mm(XmlNode* target, XmlNode* legacy, double horizontalFactor,
                            double verticalFactor);
    // The id, the position and the colour every converted control but the floodfill starts with.
    void PlaceControl(XmlNode* target, XmlNode* legacy, double horizontalFactor,
                      double verticalFactor, uint32_t colour);
    void ModifyFormatScadaXmlFormuleNode(XmlNode* target, XmlNode* legacy, double horizontalFactor,
                                         double verticalFactor);
    void ModifyFormatScadaXmlScreenNode(XmlNode* target, XmlNode* legacy, double horizontalFactor,
                                        double verticalFactor);
    void ModifyFormatScadaXmlForceVariablesNode(XmlNode* target, XmlNode* legacy,
                                                double horizontalFactor, double verticalFactor);
    void ModifyFormatScadaXmlShowDeviceNode(XmlNode* target, XmlNode* legacy,
                                            double horizontalFactor, double verticalFactor);
    void ModifyFormatScadaXmlShowLoggerNode(XmlNode* target, XmlNode* legacy,
                                            double horizontalFactor, double verticalFactor);
    void ModifyFormatScadaXmlShowAlarmsNode(XmlNode* target, XmlNode* legacy,
                                            double horizontalFactor, double verticalFactor);
    void ModifyFormatScadaXmlFloodfillNode(XmlNode* target, XmlNode* legacy,
                                           double horizontalFactor, double verticalFactor);
    void ModifyFormatScadaXmlConditionedNode(XmlNode* target, XmlNode* legacy,
                                             double horizontalFactor, double verticalFactor);
};
