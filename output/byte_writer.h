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
  // A quarter of a megabyte per chunk: on disk, every write call costs the
  // file system a fixed toll besides its copy, which smaller chunks pay
  // visibly over a geometry file of twenty megabytes.
  explicit ByteWriter(ByteSink& sink, std::size_t chunk = 1 << 18)
      : sink_(sink), chunk_(chunk < 16 ? 16 : chunk), buffer_(new char[chunk_]) {}
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;
  ~ByteWriter() = default;  // call flush(); a destructor must not throw

  void u8(std::uint8_t v) { put(&v, 1); }
  void u16(std::uint16_t v) {
    char b[2];
    put_u16(b, v);
    put(b, 2);
  }
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void u32(std::uint32_t v) {
    char b[4];
    put_u32(b, v);
    put(b, 4);
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f64(double v) {
    char b[8];
    put_f64(b, v);
    put(b, 8);
  }
  void bytes(std::string_view s) { put(s.data(), s.size()); }

  // Room for `n` bytes (at most chunk_size()) straight in the buffer, for
  // writers that encode long runs of small values: they encode into the
  // room with the put_ functions below and then commit() the position after
  // the last byte. Encoding through a local pointer spares the writer's
  // bookkeeping for every value, which dominates the cost of a large file.
  char* room(std::size_t n) {
    if (used_ + n > chunk_) flush();
    return buffer_.get() + used_;
  }
  void commit(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_.get());
  }
  std::size_t chunk_size() const { return chunk_; }

  // Little-endian encoders into raw room; each returns the position after
  // the value.
  static char* put_u8(char* p, std::uint8_t v) {
    *p = static_cast<char>(v);
    return p + 1;
  }
  static char* put_u16(char* p, std::uint16_t v) {
    p[0] = static_cast<char>(v);
    p[1] = static_cast<char>(v >> 8);
    return p + 2;
  }
  static char* put_i16(char* p, std::int16_t v) {
    return put_u16(p, static_cast<std::uint16_t>(v));
  }
  static char* put_u32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
    return p + 4;
  }
  static char* put_f64(char* p, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(bits >> (8 * i));
    return p + 8;
  }

  // Hands `s` to the sink as it is, after everything buffered: for bytes
  // already laid out in their encoding, which need no copy into the buffer.
  void pass(std::string_view s) {
    flush();
    if (!s.empty()) sink_.append(s.data(), s.size());
  }

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
