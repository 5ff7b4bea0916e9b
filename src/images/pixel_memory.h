#pragma once

#include <cstddef>
#include <cstdint>

// The one allocator of pixel memory and of the decoders' working buffers that pass through
// it. It refuses any block larger than the bound's pixel bytes and counts the bytes it has
// out, with their peak, so that tests can check that no image went past the bound.
namespace qm::images::detail {

void* AllocateCounted(size_t bytes);  // null past the bound or when memory runs out
void* ReallocateCounted(void* block, size_t bytes);
void FreeCounted(void* block);

size_t CountedBytes();
size_t PeakCountedBytes();
void ResetPeakCountedBytes();

}  // namespace qm::images::detail
