// Decodes arbitrary text as a base64 image into a bitmap that already holds one. Text that
// decodes gives true and a bitmap of the image's size (or an empty one); text that does not
// gives false and an empty bitmap.
#include <qmsupport/images/image_xml.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QMWideString text(std::wstring(data, data + size));
    qm::images::Bitmap bitmap;
    bitmap.Create(2, 2);
    unsigned long corner = 0;
    bool ok = DecodeBase64Image(text, bitmap, corner);
    if (text.IsEmpty() ? (ok || bitmap.IsEmpty()) : (!ok && !bitmap.IsEmpty())) {
        std::abort();
    }
    if (corner > 0xFFFFFF) {
        std::abort();
    }
    return 0;
}
