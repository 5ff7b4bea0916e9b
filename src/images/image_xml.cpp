#include <qmsupport/images/image_xml.h>

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include "toolsapi/no_throw.h"

#include <memory>
#include <string>

using namespace qm::images;

namespace {

RGBQUAD QuadOf(unsigned long colour) {
    return RGBQUAD{static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                   static_cast<uint8_t>(colour), 0};
}

// Encodes the image in the format given and appends its base64 text to `out`, which is
// cleared first; `out` is untouched on failure.
template <class String>
bool EncodeToBase64(CxImage& image, uint32_t format, String& out) {
    CxMemFile file;
    if (!file.Open() || !image.Encode(&file, format)) {
        return false;
    }
    String text;
    EncodeBase64(text, file.GetBuffer(false), static_cast<size_t>(file.Size()));
    out = std::move(text);
    return true;
}

template <class String>
bool EncodeImage(String& out, CxImage& image, unsigned long transparent) {
    return qm::detail::NoThrow(false, [&] {
        const RGBQUAD quad = QuadOf(transparent);
        image.AlphaCreate();
        image.SetTransIndex(image.GetNearestIndex(quad));
        image.SetTransColor(quad);
        return EncodeToBase64(image, kFormatPng, out);
    });
}

template <class String>
bool EncodeBitmapResource(String& out, int id, unsigned long transparent) {
    Bitmap bitmap;
    CxImage image;
    return id >= 0 && LoadBitmapResource(static_cast<unsigned int>(id), bitmap) &&
           image.CreateFromBitmap(bitmap) && EncodeImage(out, image, transparent);
}

// Writes base64 text as the image files hold it: UTF-8, escaped as XML text, no markup.
bool WriteImageText(const QMWideString& path, const QMWideString& text) {
    QMNarrowString utf8, escaped;
    Utf16ToUtf8(utf8, text.c_str());
    Text2Xml(escaped, utf8.c_str());
    return qm::platform::WriteFileAtomic(qm::platform::NativePath(path.c_str()),
                                         std::string_view(escaped.c_str(), escaped.Length()));
}

}  // namespace

bool EncodedImage(QMNarrowString& out, CxImage& image, unsigned long transparent) {
    return EncodeImage(out, image, transparent);
}

bool EncodedImage(QMWideString& out, CxImage& image, unsigned long transparent) {
    return EncodeImage(out, image, transparent);
}

bool EncodedBmpImage(QMNarrowString& out, int id, unsigned long transparent) {
    return EncodeBitmapResource(out, id, transparent);
}

bool EncodedBmpImage(QMWideString& out, int id, unsigned long transparent) {
    return EncodeBitmapResource(out, id, transparent);
}

bool Image2XMLFile(const wchar_t* name, CxImage* image) {
    if (!name || !image || !image->IsValid() || !QMTarvioSetup::HasInstance()) {
        return false;
    }
    return qm::detail::NoThrow(false, [&] {
        image->IncreaseBpp(24);
        QMWideString full;
        if (!EncodeToBase64(*image, kFormatPng, full)) {
            return false;
        }
        // The small image keeps the size of an image within 64 by 64; otherwise its shorter
        // side (the height when both are equal) becomes 64 and the other follows in proportion.
        const unsigned width = image->GetWidth(), height = image->GetHeight();
        unsigned smallWidth = width, smallHeight = height;
        if (width > 64 || height > 64) {
            if (height <= width) {
                smallHeight = 64;
                smallWidth = width * 64u / height;
            } else {
                smallWidth = 64;
                smallHeight = height * 64u / width;
            }
        }
        CxImage small;
        QMWideString reduced;
        if (!small.Create(smallWidth, smallHeight, image->GetBpp()) ||
            !image->Resample(smallWidth, smallHeight, 2, &small) ||
            !EncodeToBase64(small, kFormatJpeg, reduced)) {
            return false;
        }
        const QMWideString base = QMTarvioSetup::Get().ImagesPath() + QMWideString(name);
        if (!WriteImageText(base + QMWideString(L".img"), full)) {
            return false;
        }
        WriteImageText(base + QMWideString(L".limg"), reduced);
        return true;
    });
}

bool DecodeBase64Image(const QMWideString& text, Bitmap& bitmap, unsigned long& corner) {
    if (text.IsEmpty()) {
        return false;
    }
    bitmap.Destroy();
    const bool decoded = qm::detail::NoThrow(false, [&] {
        const size_t size = DecodedBase64Size(text.c_str(), static_cast<size_t>(-1));
        std::unique_ptr<unsigned char[]> bytes(new unsigned char[size + 1]);
        if (!DecodeBase64(bytes.get(), text.c_str())) {
            return false;
        }
        CxImage image(bytes.get(), size, kFormatUnknown);
        if (image.IsValid()) {
            RGBQUAD top = image.GetPixelColor(0, static_cast<long>(image.GetHeight()) - 1, true);
            corner = top.rgbRed | static_cast<unsigned long>(top.rgbGreen) << 8 |
                     static_cast<unsigned long>(top.rgbBlue) << 16;
        }
        bitmap = image.MakeBitmap();
        return true;
    });
    if (!decoded) {
        bitmap.Destroy();  // a decode stopped half way leaves no half-made bitmap
    }
    return decoded;
}

bool DecodeBase64Image(const QMWideString& text, Bitmap& bitmap) {
    unsigned long corner = 0;
    return DecodeBase64Image(text, bitmap, corner);
}

Bitmap Icon2Bitmap(unsigned int id) {
    CxImage image;
    if (!image.CreateFromIcon(id)) {
        return Bitmap();
    }
    return image.MakeBitmap();
}
