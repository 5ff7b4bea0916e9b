#include <qmsupport/images/cx_file.h>

#include <qmsupport/platform/native_path.h>

#include "toolsapi/no_throw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

CxFile::~CxFile() = default;

bool CxFile::PutC(unsigned char c) {
    return Write(&c, 1, 1) == 1;
}

// ---- CxIOFile

CxIOFile::CxIOFile(FILE* stream) : stream_(stream), closeOnExit_(stream == nullptr) {}

CxIOFile::CxIOFile(const CxIOFile& other)
    : CxFile(other), stream_(other.stream_), closeOnExit_(false) {}

CxIOFile& CxIOFile::operator=(const CxIOFile& other) {
    if (this != &other) {
        Close();
        stream_ = other.stream_;
        closeOnExit_ = false;
    }
    return *this;
}

CxIOFile::~CxIOFile() {
    Close();
}

bool CxIOFile::Open(const char* path, const char* mode) {
    if (stream_ || !path || !mode) {
        return false;
    }
    stream_ = qm::detail::NoThrow(static_cast<FILE*>(nullptr), [&] {
        return std::fopen(qm::platform::NativePath(std::string(path)).c_str(), mode);
    });
    closeOnExit_ = true;
    return stream_ != nullptr;
}

bool CxIOFile::Close() {
    if (!stream_ || !closeOnExit_) {
        return true;
    }
    int result = std::fclose(stream_);
    stream_ = nullptr;
    return result == 0;
}

size_t CxIOFile::Read(void* buffer, size_t size, size_t count) {
    return stream_ ? std::fread(buffer, size, count, stream_) : 0;
}

size_t CxIOFile::Write(const void* buffer, size_t size, size_t count) {
    return stream_ ? std::fwrite(buffer, size, count, stream_) : 0;
}

bool CxIOFile::Seek(long offset, int origin) {
    return stream_ && std::fseek(stream_, offset, origin) == 0;
}

long CxIOFile::Tell() {
    return stream_ ? std::ftell(stream_) : 0;
}

long CxIOFile::Size() {
    if (!stream_) {
        return -1;
    }
    long position = std::ftell(stream_);
    std::fseek(stream_, 0, SEEK_END);
    long size = std::ftell(stream_);
    std::fseek(stream_, position, SEEK_SET);
    return size;
}

bool CxIOFile::Flush() {
    return stream_ && std::fflush(stream_) == 0;
}

bool CxIOFile::Eof() {
    return !stream_ || std::feof(stream_) != 0;
}

long CxIOFile::Error() {
    return stream_ ? std::ferror(stream_) : -1;
}

bool CxIOFile::PutC(unsigned char c) {
    return stream_ && std::fputc(c, stream_) == c;
}

long CxIOFile::GetC() {
    return stream_ ? std::getc(stream_) : -1;
}

// ---- CxMemFile

CxMemFile::CxMemFile(unsigned char* buffer, uint32_t size)
    : buffer_(buffer), size_(size), freeOnClose_(buffer == nullptr), edge_(size) {}

CxMemFile::CxMemFile(const CxMemFile& other)
    : CxFile(other),
      buffer_(other.buffer_),
      size_(other.size_),
      freeOnClose_(false),
      position_(other.position_),
      edge_(other.edge_) {}

CxMemFile& CxMemFile::operator=(const CxMemFile& other) {
    if (this != &other) {
        Close();
        buffer_ = other.buffer_;
        size_ = other.size_;
        freeOnClose_ = false;
        position_ = other.position_;
        edge_ = other.edge_;
    }
    return *this;
}

CxMemFile::~CxMemFile() {
    Close();
}

bool CxMemFile::Open() {
    if (buffer_) {
        return false;
    }
    size_ = position_ = edge_ = 0;
    buffer_ = static_cast<unsigned char*>(std::malloc(1));  // an empty block, never null
    freeOnClose_ = true;
    return buffer_ != nullptr;
}

bool CxMemFile::Close() {
    if (buffer_ && freeOnClose_) {
        std::free(buffer_);
        buffer_ = nullptr;
        size_ = 0;
    }
    return true;
}

unsigned char* CxMemFile::GetBuffer(bool detach) {
    freeOnClose_ = !detach;
    return buffer_;
}

size_t CxMemFile::Read(void* buffer, size_t size, size_t count) {
    if (!buffer_ || !buffer || size == 0 || position_ >= size_) {
        return 0;
    }
    size_t items = std::min<size_t>(count, (size_ - position_) / size);
    std::memcpy(buffer, buffer_ + position_, items * size);
    position_ += static_cast<uint32_t>(items * size);
    return items;
}

bool CxMemFile::Reserve(uint64_t length) {
    if (length > UINT32_MAX) {
        return false;
    }
    if (length <= edge_ && buffer_) {
        return true;
    }
    uint64_t edge = std::max<uint64_t>(4096, edge_);
    while (edge < length) {
        edge *= 2;
    }
    edge = std::min<uint64_t>(edge, UINT32_MAX);
    if (!freeOnClose_) {
        // A buffer that belongs to someone else is never reallocated behind its owner's back.
        return false;
    }
    void* grown = std::realloc(buffer_, static_cast<size_t>(edge));
    if (!grown) {
        return false;
    }
    buffer_ = static_cast<unsigned char*>(grown);
    edge_ = static_cast<uint32_t>(edge);
    return true;
}

size_t CxMemFile::Write(const void* buffer, size_t size, size_t count) {
    if (!buffer || size == 0 || count == 0) {
        return 0;
    }
    if (count > UINT32_MAX / size) {
        return 0;
    }
    uint64_t length = static_cast<uint64_t>(size) * count;
    uint64_t end = position_ + length;
    if (!Reserve(end)) {
        return 0;
    }
    if (position_ > size_) {
        std::memset(buffer_ + size_, 0, position_ - size_);
    }
    std::memcpy(buffer_ + position_, buffer, static_cast<size_t>(length));
    position_ = static_cast<uint32_t>(end);
    size_ = std::max(size_, position_);
    return count;
}

bool CxMemFile::Seek(long offset, int origin) {
    int64_t base;
    switch (origin) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = position_;
            break;
        case SEEK_END:
            base = size_;
            break;
        default:
            return false;
    }
    int64_t target = base + offset;
    if (!buffer_ || target < 0 || target > UINT32_MAX) {
        return false;
    }
    position_ = static_cast<uint32_t>(target);
    return true;
}

long CxMemFile::Tell() {
    return static_cast<long>(position_);
}

long CxMemFile::Size() {
    return static_cast<long>(size_);
}

bool CxMemFile::Flush() {
    return buffer_ != nullptr;
}

bool CxMemFile::Eof() {
    return !buffer_ || position_ >= size_;
}

long CxMemFile::Error() {
    return buffer_ ? 0 : -1;
}

bool CxMemFile::PutC(unsigned char c) {
    return Write(&c, 1, 1) == 1;
}

long CxMemFile::GetC() {
    if (Eof()) {
        return -1;
    }
    return buffer_[position_++];
}
