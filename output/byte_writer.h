// The one little-endian writer through which every file's bytes pass. Values
// are appended field by field into a buffer that is handed to a sink in large
// chunks, so a file costs one system call per chunk, never one per value.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace scenc {

// Where finished chunks of a file go: a file on disk, a string in a test.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void append(const char* data, std::size_t size) = 0;
};

class StringSink final : public ByteSink {
 public:
  void append(const char* data, std::size_t size) override {
    bytes.append(data, size);
  }
  std::string bytes;
};

class ByteWriter {
 public:
  explicit ByteWriter(ByteSink& sink, std::size_t chunk = 1 << 16)
      : sink_(sink), chunk_(chunk) {
    buffer_.reserve(chunk_);
  }
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;
  ~ByteWriter() = default;  // call flush(); a destructor must not throw

  void u8(std::uint8_t v) { put(&v, 1); }
  void u16(std::uint16_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v),
                                static_cast<unsigned char>(v >> 8)};
    put(b, 2);
  }
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void u32(std::uint32_t v) {
    const unsigned char b[4] = {
        static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    put(b, 4);
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(bits >> (8 * i));
    put(b, 8);
  }
  void bytes(std::string_view s) { put(s.data(), s.size()); }

  // Hands everything buffered to the sink.
  void flush() {
    if (!buffer_.empty()) sink_.append(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

 private:
  void put(const void* p, std::size_t n) {
    if (buffer_.size() + n > chunk_) flush();
    const auto* c = static_cast<const char*>(p);
    buffer_.insert(buffer_.end(), c, c + n);
  }

  ByteSink& sink_;
  std::size_t chunk_;
  std::vector<char> buffer_;
};

}  // namespace scenc
