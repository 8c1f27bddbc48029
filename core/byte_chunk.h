// Growable little-endian byte buffer for saved state; reads return the next position or -1.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace plugkit {

class ByteChunk {
 public:
  ByteChunk() = default;
  ByteChunk(const uint8_t* data, int size) { PutBytes(data, size); }

  /// Appends n bytes; returns the new size. Allocates.
  int PutBytes(const void* data, int n) {
    if (n <= 0) return Size();
    const size_t old = bytes_.size();
    if (bytes_.capacity() < old + static_cast<size_t>(n))
      bytes_.reserve((old + static_cast<size_t>(n) + kGrowth - 1) / kGrowth * kGrowth);
    bytes_.resize(old + static_cast<size_t>(n));
    std::memcpy(bytes_.data() + old, data, static_cast<size_t>(n));
    return Size();
  }

  /// Appends the bytes of one value in machine (little-endian) order; returns the new size.
  template <typename T>
  int Put(const T* value) {
    static_assert(std::is_trivially_copyable_v<T>);
    return PutBytes(value, static_cast<int>(sizeof(T)));
  }

  /// Appends a 32-bit length and the text's bytes without a terminator.
  int PutStr(const std::string& text) {
    const int32_t length = static_cast<int32_t>(text.size());
    Put(&length);
    return PutBytes(text.data(), length);
  }

  /// Copies one value out from startPos; returns the next position, or -1 (value untouched).
  template <typename T>
  int Get(T* value, int startPos) const {
    static_assert(std::is_trivially_copyable_v<T>);
    if (startPos < 0 || static_cast<int64_t>(startPos) + static_cast<int64_t>(sizeof(T)) > Size())
      return -1;
    std::memcpy(value, bytes_.data() + startPos, sizeof(T));
    return startPos + static_cast<int>(sizeof(T));
  }

  /// Reads a length-prefixed text (stopping at a zero byte). Returns the position after it
  /// even when the bytes are missing (the next read then fails), or -1 when the length
  /// cannot be read or is negative.
  int GetStr(std::string& out, int startPos) const {
    int32_t length = 0;
    const int pos = Get(&length, startPos);
    // A negative length would point back into data already read: treat it as damage.
    if (pos < 0 || length < 0) return -1;
    const int64_t end = static_cast<int64_t>(pos) + length;
    if (end <= Size()) {
      if (length == 0) {
        out.clear();
      } else {
        const char* begin = reinterpret_cast<const char*>(bytes_.data() + pos);
        out.assign(begin, strnlen(begin, static_cast<size_t>(length)));
      }
    }
    // Saturate so a huge stated length cannot wrap into a valid position.
    return end > INT32_MAX ? INT32_MAX : static_cast<int>(end);
  }

  int Size() const { return static_cast<int>(bytes_.size()); }
  const uint8_t* GetData() const { return bytes_.data(); }
  uint8_t* GetData() { return bytes_.data(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  static constexpr size_t kGrowth = 4096;
  std::vector<uint8_t> bytes_;
};

}  // namespace plugkit
