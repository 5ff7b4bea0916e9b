// Decodes arbitrary bytes with format code kFormatJpeg; see image_fuzz.h for what is checked.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzImageDecode(data, size, qm::images::kFormatJpeg);
}
