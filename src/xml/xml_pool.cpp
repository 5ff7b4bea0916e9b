// The memory pool of a document's nodes, texts and child lists.

#include "xml/xml_impl.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

using qm::xml::Pool;

void* Pool::Allocate(size_t size) {
    size = size == 0 ? kGrain : (size + kGrain - 1) & ~(kGrain - 1);
    if (size <= kSmallLimit) {
        void*& head = free_[size / kGrain];
        if (head) {
            void* block = head;
            head = *static_cast<void**>(block);
            return block;
        }
        return AllocateFromChunk(size);
    }
    if (size > SIZE_MAX - sizeof(Large)) {
        throw std::bad_alloc();
    }
    auto* large = static_cast<Large*>(std::malloc(sizeof(Large) + size));
    if (!large) {
        throw std::bad_alloc();
    }
    large->previous = nullptr;
    large->next = large_;
    if (large_) {
        large_->previous = large;
    }
    large_ = large;
    return large + 1;
}

void* Pool::AllocateFromChunk(size_t size) {
    if (static_cast<size_t>(end_ - next_) < size) {
        void* chunk;
        if (chunkSize_ >= kMappedChunk) {
            chunk = ::mmap(nullptr, chunkSize_, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
            chunk = chunk == MAP_FAILED ? nullptr : chunk;
        } else {
            chunk = std::malloc(chunkSize_);
        }
        if (!chunk) {
            throw std::bad_alloc();
        }
        // A chunk starts with the link to the one before and its own size; 16 bytes keep the
        // blocks aligned.
        auto* header = static_cast<ChunkHeader*>(chunk);
        header->previous = chunks_;
        header->size = chunkSize_;
        chunks_ = header;
        next_ = static_cast<char*>(chunk) + sizeof(ChunkHeader);
        end_ = static_cast<char*>(chunk) + chunkSize_;
        if (chunkSize_ < kLargestChunk) {
            chunkSize_ *= 2;
        }
    }
    void* block = next_;
    next_ += size;
    return block;
}

void Pool::Release(void* block, size_t size) {
    size = size == 0 ? kGrain : (size + kGrain - 1) & ~(kGrain - 1);
    if (size <= kSmallLimit) {
        void*& head = free_[size / kGrain];
        *static_cast<void**>(block) = head;
        head = block;
        return;
    }
    Large* large = static_cast<Large*>(block) - 1;
    if (large->previous) {
        large->previous->next = large->next;
    } else {
        large_ = large->next;
    }
    if (large->next) {
        large->next->previous = large->previous;
    }
    std::free(large);
}

void Pool::Clear() {
    while (chunks_) {
        ChunkHeader* previous = chunks_->previous;
        if (chunks_->size >= kMappedChunk) {
            ::munmap(chunks_, chunks_->size);
        } else {
            std::free(chunks_);
        }
        chunks_ = previous;
    }
    while (large_) {
        Large* next = large_->next;
        std::free(large_);
        large_ = next;
    }
    next_ = end_ = nullptr;
    chunkSize_ = 4096;
    std::memset(free_, 0, sizeof free_);
}
