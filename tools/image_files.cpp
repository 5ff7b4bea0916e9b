#include "image_files.h"

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/codecs.h>

#include <string_view>

bool ReadImageFile(const std::string& path, CxImage& image, bool& fromText) {
    std::string data;
    if (!qm::platform::ReadFile(qm::platform::NativePath(path), data)) {
        return false;
    }
    fromText = false;
    if (image.Decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0)) {
        return true;
    }
    QMNarrowString text, bytes;
    Xml2Text(text, data.c_str());
    if (!DecodeBase64String(bytes, text.c_str(), text.Length())) {
        return false;
    }
    fromText = true;
    return image.Decode(reinterpret_cast<const uint8_t*>(bytes.c_str()), bytes.Length(), 0);
}

bool WritePngFile(const std::string& path, CxImage& image) {
    CxMemFile file;
    return file.Open() && image.Encode(&file, qm::images::kFormatPng) &&
           qm::platform::WriteFileAtomic(
               qm::platform::NativePath(path),
               std::string_view(reinterpret_cast<const char*>(file.GetBuffer(false)),
                                static_cast<size_t>(file.Size())));
}
