#include <qmsupport/text/send_xml_text.h>

#include <qmsupport/toolsapi/codecs.h>

bool SendXMLText(QMHttpResponse& response, const QMNarrowString& text, bool wrap) {
    if (wrap) {
        response.Write("<text>", -1);
    }
    if (text.view().starts_with("<text")) {
        response.Write(text);
    } else {
        QMNarrowString escaped;
        Text2Xml(escaped, text.c_str());
        const bool resource = text.view().starts_with("IDS_");
        response.Write(resource ? "<textId>" : "<textStr>", -1);
        response.Write(escaped);
        response.Write(resource ? "</textId>" : "</textStr>", -1);
    }
    if (wrap) {
        response.Write("</text>", -1);
    }
    return true;
}
