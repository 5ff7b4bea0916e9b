#pragma once

#include <qmsupport/export.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The byte stream through which images are encoded. The virtual operations keep their slot
// order: destructor, Close, Read, Write, Seek, Tell, Size, Flush, Eof, Error, PutC, GetC.
class QMSUPPORT_API CxFile {
  public:
    CxFile() = default;
    CxFile(const CxFile&) {}
    CxFile& operator=(const CxFile&) { return *this; }
    virtual ~CxFile();
    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;         // items read
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;  // items written
    virtual bool Seek(long offset, int origin) = 0;  // SEEK_SET, SEEK_CUR or SEEK_END
    virtual long Tell() = 0;
    virtual long Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual long Error() = 0;
    virtual bool PutC(unsigned char c);
    virtual long GetC() = 0;
};

// A standard I/O stream. A stream given to the constructor belongs to the caller; a stream
// opened by Open is closed by Close or the destructor. A copy shares the stream but never
// closes it, so the stream is closed once.
class QMSUPPORT_API CxIOFile : public CxFile {
  public:
    explicit CxIOFile(FILE* stream = nullptr);
    CxIOFile(const CxIOFile& other);
    CxIOFile& operator=(const CxIOFile& other);
    ~CxIOFile() override;
    // Opens the file at a path written in the system's form (found by the platform's path
    // rules); false when a stream is already held or the file cannot be opened.
    bool Open(const char* path, const char* mode);
    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;

  protected:
    FILE* stream_ = nullptr;
    bool closeOnExit_ = true;
};

// A growable memory buffer. The buffer is allocated with malloc; a buffer given to the
// constructor belongs to the caller. It grows geometrically; a write that would take the size
// past 32 bits fails and writes nothing. A copy shares the buffer but never frees it, so the
// buffer is freed once.
class QMSUPPORT_API CxMemFile : public CxFile {
  public:
    explicit CxMemFile(unsigned char* buffer = nullptr, uint32_t size = 0);
    CxMemFile(const CxMemFile& other);
    CxMemFile& operator=(const CxMemFile& other);
    ~CxMemFile() override;
    bool Open();
    bool Close() override;
    // The buffer; after GetBuffer(true) it belongs to the caller, who frees it with free().
    unsigned char* GetBuffer(bool detach = true);
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    // A position past the end is allowed; the next write fills the gap with zeros.
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;

  protected:
    // Makes room for `length` bytes; false when that passes 32 bits or memory runs out.
    bool Reserve(uint64_t length);

    unsigned char* buffer_ = nullptr;
    uint32_t size_ = 0;
    bool freeOnClose_ = true;
    uint32_t position_ = 0;
    uint32_t edge_ = 0;
};
