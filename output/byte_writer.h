// The one little-endian writer through which every file's bytes pass. Values
// are appended field by field into a buffer that is handed to a sink in large
// chunks, so a file costs one system call per chunk, never one per value.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

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
      : sink_(sink), chunk_(chunk < 16 ? 16 : chunk), buffer_(new char[chunk_]) {}
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
    if (used_ != 0) sink_.append(buffer_.get(), used_);
    used_ = 0;
  }

 private:
  void put(const void* p, std::size_t n) {
    if (used_ + n > chunk_) {
      flush();
      if (n > chunk_) {  // a long text goes straight through
        sink_.append(static_cast<const char*>(p), n);
        return;
      }
    }
    std::memcpy(buffer_.get() + used_, p, n);
    used_ += n;
  }

  ByteSink& sink_;
  std::size_t chunk_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace scenc
