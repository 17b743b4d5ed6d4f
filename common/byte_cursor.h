// A bounded reader over untrusted bytes, shared by every parser of file structure (picture headers,
// chunks, IFDs, markers, archive directories). Every check is written as `n <= size - pos`, so offsets
// taken from a file can never wrap; a read past the end returns zero and makes the cursor fail for
// good. Pixel rows are not read byte by byte through it: Bytes() hands out a checked span instead.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bytes {

class ByteCursor {
  public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    size_t Pos() const { return pos_; }
    size_t Size() const { return size_; }
    size_t Left() const { return size_ - pos_; }
    bool Ok() const { return ok_; }
    bool Has(size_t n) const { return n <= size_ - pos_; }
    const uint8_t* Here() const { return data_ + pos_; }
    const uint8_t* Data() const { return data_; }

    bool Seek(size_t pos) {
        if (pos > size_)
            return Fail();
        pos_ = pos;
        return true;
    }
    bool Skip(size_t n) {
        if (!Has(n))
            return Fail();
        pos_ += n;
        return true;
    }
    // The next `n` bytes, stepped over; null (and failed) when fewer are left.
    const uint8_t* Bytes(size_t n) {
        if (!Has(n)) {
            Fail();
            return nullptr;
        }
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    uint8_t U8() {
        if (!Has(1))
            return static_cast<uint8_t>(Fail());
        return data_[pos_++];
    }
    uint16_t U16LE() {
        if (!Has(2))
            return static_cast<uint16_t>(Fail());
        const uint8_t* p = data_ + pos_;
        pos_ += 2;
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint16_t U16BE() {
        if (!Has(2))
            return static_cast<uint16_t>(Fail());
        const uint8_t* p = data_ + pos_;
        pos_ += 2;
        return static_cast<uint16_t>((p[0] << 8) | p[1]);
    }
    uint32_t U32LE() {
        if (!Has(4))
            return static_cast<uint32_t>(Fail());
        const uint8_t* p = data_ + pos_;
        pos_ += 4;
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    uint32_t U32BE() {
        if (!Has(4))
            return static_cast<uint32_t>(Fail());
        const uint8_t* p = data_ + pos_;
        pos_ += 4;
        return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
    }
    int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
    // Byte order chosen by the file (TIFF and Exif).
    uint16_t U16(bool big_endian) { return big_endian ? U16BE() : U16LE(); }
    uint32_t U32(bool big_endian) { return big_endian ? U32BE() : U32LE(); }

  private:
    bool Fail() {
        ok_ = false;
        pos_ = size_;
        return false;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// True when `n` bytes at `at` lie inside `size` bytes, for offsets and lengths read from a file.
inline bool Fits(size_t size, uint64_t at, uint64_t n) { return at <= size && n <= size - at; }

// Unchecked loads, for places whose bounds a cursor or Fits() has already established.
inline uint16_t LoadU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint16_t LoadU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t LoadU32LE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t LoadU32BE(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

} // namespace bytes
