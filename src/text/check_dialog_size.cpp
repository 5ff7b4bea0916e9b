#include <qmsupport/text/check_dialog_size.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// The sizing-edge codes that move the left or the top edge; the others move the right or the
// bottom edge.
enum SizingEdge : unsigned int {
    kLeft = 1,
    kTop = 3,
    kTopLeft = 4,
    kTopRight = 5,
    kBottomLeft = 7,
};

// Edges are computed in 64 bits and kept within 32, so no limit can overflow them.
int32_t Saturate(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Applies one limit along one axis: a negative limit forces the size, a positive one is a
// minimum. The edge being dragged is the one that moves.
void Limit(int32_t& low, int32_t& high, bool lowMoves, int limit) {
    int64_t size;
    if (limit < 0) {
        size = -static_cast<int64_t>(limit);
    } else if (limit >= 1 && static_cast<int64_t>(high) - low < limit) {
        size = limit;
    } else {
        return;
    }
    if (lowMoves) {
        low = Saturate(static_cast<int64_t>(high) - size);
    } else {
        high = Saturate(static_cast<int64_t>(low) + size);
    }
}

}  // namespace

bool CheckDialogSize(unsigned int edge, RECT* rect, int width, int height) {
    if (!rect) {
        return true;
    }
    const bool leftMoves = edge == kLeft || edge == kTopLeft || edge == kBottomLeft;
    const bool topMoves = edge == kTop || edge == kTopLeft || edge == kTopRight;
    Limit(rect->left, rect->right, leftMoves, width);
    Limit(rect->top, rect->bottom, topMoves, height);
    return true;
}
