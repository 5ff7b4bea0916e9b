#pragma once

#include <qmsupport/export.h>

#include <cstddef>
#include <cstdint>

class CxFile;

// The part that the binary history readers share: a fixed header, then fixed-size records
// up to the end of the file. Every read goes through ReadBounded, which loops over short
// reads, and the position is counted in 64 bits, so files past 2 GiB read alike.
class QMSUPPORT_API HistoryFileReader {
  public:
    enum class HeaderState {
        Valid,    // the header is complete and names the format
        Short,    // the file ends inside the header (HeaderBytes() were there)
        Foreign,  // the header names another format
    };

    virtual ~HistoryFileReader();

    // Bytes read so far: the offset of the next record.
    uint64_t Offset() const { return offset_; }
    // After the last record: the bytes of a partial record at the end of the file (0 if
    // none). After a Short header: the bytes of the header that were there.
    uint64_t TailBytes() const { return tail_; }

  protected:
    explicit HistoryFileReader(CxFile& file) : file_(file) {}
    HistoryFileReader(const HistoryFileReader&) = delete;
    HistoryFileReader& operator=(const HistoryFileReader&) = delete;

    // Reads `size` bytes (no more than `capacity`) into `buffer`, calling the file again
    // after a short read until the count is met or the file ends. Returns the bytes read.
    size_t ReadBounded(uint8_t* buffer, size_t capacity, size_t size);
    // Reads a header of `size` bytes and checks that it starts with `magic`.
    HeaderState ReadHeader(uint8_t* header, size_t size, const char* magic, size_t magicSize);
    // Reads one record of `size` bytes; false at the end of the file, where a partial record
    // is counted in TailBytes() and dropped.
    bool ReadRecord(uint8_t* record, size_t size);

  private:
    CxFile& file_;
    uint64_t offset_ = 0;
    uint64_t tail_ = 0;
};
