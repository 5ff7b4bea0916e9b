// QMTarvioSetup's devices image list is built here, beside the bitmaps it loads, so that the
// setup area does not depend on the images area.

#include <qmsupport/images/bitmap.h>
#include <qmsupport/setup/tarvio_setup.h>

bool QMTarvioSetup::CreateDevicesImageList(qm::images::ImageList& list) const {
    using qm::images::ImageList;
    constexpr uint32_t kMagenta = 0xFF00FF;  // RGB(255, 0, 255)
    list.DeleteImageList();
    list.Create(16, 16, ImageList::kColor24 | ImageList::kMask, 3, 3);
    for (int row = 0; row < qm::kDriverCount; ++row) {
        qm::images::Bitmap bitmap;
        qm::images::LoadBitmapResource(static_cast<unsigned int>(DriverImage(row, false)), bitmap);
        list.Add(bitmap, kMagenta);
    }
    return true;
}
