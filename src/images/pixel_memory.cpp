#include "images/pixel_memory.h"

#include <qmsupport/images/cx_image.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qm::images::detail {
namespace {

// Each block carries its size in a header, so that frees and reallocations can be counted.
constexpr size_t kHeader = 16;

std::atomic<size_t> counted{0};
std::atomic<size_t> peak{0};

void Count(size_t added) {
    size_t now = counted.fetch_add(added) + added;
    size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

}  // namespace

void* AllocateCounted(size_t bytes) {
    if (bytes > kMaxPixelBytes) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(bytes + kHeader));
    if (!block) {
        return nullptr;
    }
    std::memcpy(block, &bytes, sizeof bytes);
    Count(bytes);
    return block + kHeader;
}

void* ReallocateCounted(void* block, size_t bytes) {
    if (!block) {
        return AllocateCounted(bytes);
    }
    if (bytes > kMaxPixelBytes) {
        return nullptr;
    }
    auto* start = static_cast<unsigned char*>(block) - kHeader;
    size_t old;
    std::memcpy(&old, start, sizeof old);
    auto* grown = static_cast<unsigned char*>(std::realloc(start, bytes + kHeader));
    if (!grown) {
        return nullptr;
    }
    std::memcpy(grown, &bytes, sizeof bytes);
    counted.fetch_sub(old);
    Count(bytes);
    return grown + kHeader;
}

void FreeCounted(void* block) {
    if (!block) {
        return;
    }
    auto* start = static_cast<unsigned char*>(block) - kHeader;
    size_t old;
    std::memcpy(&old, start, sizeof old);
    counted.fetch_sub(old);
    std::free(start);
}

size_t CountedBytes() {
    return counted.load();
}
size_t PeakCountedBytes() {
    return peak.load();
}
void ResetPeakCountedBytes() {
    peak.store(counted.load());
}

void PixelFree::operator()(uint8_t* pixels) const {
    FreeCounted(pixels);
}

bool Raster::Allocate(uint32_t w, uint32_t h, bool withAlpha) {
    rgb.reset();
    alpha.reset();
    width = height = 0;
    if (!WithinBound(w, h)) {
        return false;
    }
    size_t count = size_t{w} * h;
    rgb.reset(static_cast<uint8_t*>(AllocateCounted(count * 3)));
    if (!rgb) {
        return false;
    }
    std::memset(rgb.get(), 0, count * 3);
    width = w;
    height = h;
    if (withAlpha && !AllocateAlpha(255)) {
        rgb.reset();
        width = height = 0;
        return false;
    }
    return true;
}

bool Raster::AllocateAlpha(uint8_t fill) {
    size_t count = size_t{width} * height;
    alpha.reset(static_cast<uint8_t*>(AllocateCounted(count)));
    if (!alpha) {
        return false;
    }
    std::memset(alpha.get(), fill, count);
    return true;
}

}  // namespace qm::images::detail
