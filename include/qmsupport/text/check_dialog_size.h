#pragma once

#include <qmsupport/export.h>

#include <cstdint>

// A window rectangle in screen coordinates, edges as 32-bit integers.
struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Keeps a window that is being resized at least `width` by `height` (exactly |width| or
// |height| when negative; 0 sets no limit) by moving the edge being dragged. `edge` is the
// sizing-edge code: 1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom, 7 bottom-left,
// 8 bottom-right. Changes `rect` in place; always returns true.
QMSUPPORT_API bool CheckDialogSize(unsigned int edge, RECT* rect, int width, int height);
