// The controls that show images. Their images move into the images directory, as ".img" and
// ".limg" files named after the image file, or "image%d" for an image embedded in the
// document.

#include <qmsupport/images/image_xml.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/platform/paths.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include "legacy/legacy_text.h"
#include "legacy/scada_report_controls.h"

#include <string>
#include <vector>

namespace {

using XmlNode = XmlDocument::XmlNode;
using Self = QMTransformScadaReportTo25;

bool StoredImageExists(const QMWideString& name) {
    return qm::platform::FileExists((QMTarvioSetup::Get().ImagesPath() + name + L".img").c_str());
}

// Base64 text decoded into an image; invalid when the text or its bytes are no image.
std::unique_ptr<CxImage> DecodeImage(const wchar_t* base64, size_t length) {
    std::vector<unsigned char> bytes(DecodedBase64Size(base64, length));
    auto image = std::make_unique<CxImage>();
    if (!bytes.empty() && DecodeBase64(bytes.data(), base64)) {
        image->Decode(bytes.data(), bytes.size(), 0);
    }
    return image;
}

// The image file a key names, against the configuration directory, and the name it is
// stored under (the file's base name).
struct ImageFile {
    QMWideString path;
    QMWideString name;

    explicit ImageFile(const QMWideString& file) {
        RelativePathToFullPath(QMTarvioSetup::Get().CfgPath().c_str(), file.c_str(), path);
        name = qm::legacy::SplitPath(path).name;
    }
};

// Stores the image under `name` and tells the notes.
void Store(Self::ReadNotes* notes, const QMWideString& name, const QMWideString& source,
           CxImage* image) {
    const bool stored = Image2XMLFile(name.c_str(), image);
    if (notes != nullptr) {
        notes->Stored(name, source, stored);
    }
}

// The next free "image%d" name, through the document's notes when there are some.
QMWideString FreeImageName(Self::ReadNotes* notes) {
    if (notes != nullptr) {
        return notes->FreeImageName();
    }
    Self::ReadNotes fresh;
    return fresh.FreeImageName();
}

const wchar_t* ImageHorizontalWord(int32_t align) {
    return align == 1 ? L"LEFT" : align == 2 ? L"RIGHT" : L"CENTER";
}

const wchar_t* ImageVerticalWord(int32_t align) {
    return align == 4 ? L"TOP" : align == 8 ? L"BOTTOM" : L"CENTER";
}

}  // namespace

void Self::ReadNotes::Dropped(const QMWideString& tag, DropReason reason) const {
    if (observer != nullptr) {
        observer->OnControlDropped(file, page, tag, reason);
    }
}

void Self::ReadNotes::Stored(const QMWideString& image, const QMWideString& source,
                             bool stored) const {
    if (observer != nullptr) {
        observer->OnImageStored(file, image, source, stored);
    }
}

QMWideString Self::ReadNotes::FreeImageName() {
    const QMWideString& imagesPath = QMTarvioSetup::Get().ImagesPath();
    if (imagesPath != imagesPath_) {
        imagesPath_ = imagesPath;
        nextImage_ = 1;
    }
    QMWideString name;
    for (;; ++nextImage_) {
        name.Format(L"image%d", nextImage_);
        if (!StoredImageExists(name)) {
            return name;
        }
    }
}

void qm::legacy::ImagePlacement::Read(const XmlNode* element) {
    if (const XmlNode* node = element->Node(L"horizontalAlign")) {
        imageHorizontalAlign = Wtoi(node->Value().view());
    }
    if (const XmlNode* node = element->Node(L"verticalAlign")) {
        imageVerticalAlign = Wtoi(node->Value().view());
    }
    if (const XmlNode* node = element->Node(L"maintainAspectRatio")) {
        maintainAspectRatio = qm::legacy::Flag(node->Value());
    }
    if (const XmlNode* node = element->Node(L"maintainRealSize")) {
        maintainRealSize = qm::legacy::Flag(node->Value());
    }
}

void qm::legacy::ImagePlacement::Write(XmlNode* element) const {
    element->SetValue(L"maintainAspectRatio", qm::legacy::FlagText(maintainAspectRatio));
    element->SetValue(L"maintainRealSize", qm::legacy::FlagText(maintainRealSize));
    if (XmlNode* image = element->NewChild(L"image")) {
        image->SetValue(L"imageId", imageId.c_str());
        image->SetValue(L"horizontalAlign", ImageHorizontalWord(imageHorizontalAlign));
        image->SetValue(L"verticalAlign", ImageVerticalWord(imageVerticalAlign));
    }
}

// A free "image%d" name is taken only for an embedded image; a file's image keeps the file's
// name, and one already stored under it is not stored again.
bool Self::QMControlStaticImage::Read(const XmlNode* element) {
    QMControl::Read(element);
    if (const XmlNode* file = element->Node(L"valueFile")) {
        const ImageFile source(file->Value());
        if (!StoredImageExists(source.name)) {
            CxImage image(qm::Utf8(source.path).c_str(), 0);
            Store(notes, source.name, source.path, &image);
        }
        placement.imageId = source.name;
    } else if (const QMWideString base64 = element->Value(L"value", L""); !base64.IsEmpty()) {
        const std::unique_ptr<CxImage> image = DecodeImage(base64.c_str(), base64.Length());
        placement.imageId = FreeImageName(notes);
        Store(notes, placement.imageId, QMWideString(), image.get());
    }
    placement.Read(element);
    return true;
}

bool Self::QMControlStaticImage::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"staticImage");
    if (element == nullptr) {
        return false;
    }
    placement.Write(element);
    return true;
}

std::unique_ptr<CxImage> Self::QMControlBackgroundImage::LoadStored(const QMWideString& name) {
    std::string content;
    if (!qm::platform::ReadFile(
            qm::platform::NativePath((QMTarvioSetup::Get().ImagesPath() + name + L".img").c_str()),
            content)) {
        return nullptr;
    }
    QMNarrowString base64;
    Xml2Text(base64, content.c_str());
    const QMWideString text = qm::Wide(base64.view());
    std::unique_ptr<CxImage> image = DecodeImage(text.c_str(), text.Length());
    image->IncreaseBpp(24);
    return image;
}

bool Self::QMControlBackgroundImage::Read(const XmlNode* element) {
    image.reset();
    QMControl::Read(element);
    if (const XmlNode* file = element->Node(L"backgroundFile")) {
        const ImageFile source(file->Value());
        image = std::make_unique<CxImage>(qm::Utf8(source.path).c_str(), 0);
        image->IncreaseBpp(24);
        if (!StoredImageExists(source.name)) {
            Store(notes, source.name, source.path, image.get());
        } else if (!image->IsValid()) {
            image = LoadStored(source.name);
        }
        placement.imageId = source.name;
    } else if (const QMWideString base64 = element->Value(L"background", L""); !base64.IsEmpty()) {
        image = DecodeImage(base64.c_str(), base64.Length());
        if (image->IsValid()) {
            image->IncreaseBpp(24);
            placement.imageId = FreeImageName(notes);
            Store(notes, placement.imageId, QMWideString(), image.get());
        }
    }
    if (image != nullptr && !image->IsValid()) {
        image.reset();  // nothing to render the background from
    }
    placement.Read(element);
    return true;
}

bool Self::QMControlBackgroundImage::Write(XmlNode* parent, PageContext* context) {
    XmlNode* element = appendElement(parent, context, L"backgroundImage");
    if (element == nullptr) {
        return false;
    }
    placement.Write(element);
    return true;
}
