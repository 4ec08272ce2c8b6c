// The one little-endian writer through which every file's bytes pass. Values
// are appended field by field into a buffer that is handed to a sink in large
// chunks, so a file costs one system call per chunk, never one per value.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "output/buffer_pool.h"

namespace scenc {

// Where finished chunks of a file go: a file on disk, a string in a test.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void append(const char* data, std::size_t size) = 0;
  // Writes `size` bytes `offset` bytes from the start of the file, leaving
  // the place where append() goes on as it is; false when the sink cannot
  // write at a place (a pipe, a device, memory).
  virtual bool write_at(std::uint64_t /*offset*/, const char* /*data*/,
                        std::size_t /*size*/) {
    return false;
  }
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
  class Tail;

  explicit ByteWriter(ByteSink& sink,
                      std::size_t chunk = BufferPool::kDefaultSize)
      : sink_(sink),
        chunk_(chunk < 16 ? 16 : chunk),
        buffer_(new char[chunk_]) {}
  // A writer that fills a buffer of `pool`, and gives it back when done.
  ByteWriter(ByteSink& sink, BufferPool& pool)
      : sink_(sink),
        pool_(&pool),
        chunk_(pool.buffer_size()),
        buffer_(pool.take()) {}
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;
  // Call flush() first: what is still buffered is dropped.
  ~ByteWriter() {
    if (pool_ != nullptr) pool_->give_back(std::move(buffer_));
  }

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
  static char* put_u16(char* p, std::uint16_t v) { return put_le(p, v); }
  static char* put_i16(char* p, std::int16_t v) {
    return put_u16(p, static_cast<std::uint16_t>(v));
  }
  static char* put_u32(char* p, std::uint32_t v) { return put_le(p, v); }
  static char* put_f64(char* p, double v) {
    return put_le(p, std::bit_cast<std::uint64_t>(v));
  }

  // Hands everything buffered to the sink.
  void flush() {
    if (used_ != 0) sink_.append(buffer_.get(), used_);
    handed_ += used_;
    used_ = 0;
  }

  // How many bytes have been written through this writer.
  std::uint64_t position() const { return handed_ + used_; }

 private:
  // `v` in little-endian order: one store where the machine is
  // little-endian, byte by byte elsewhere.
  template <typename Unsigned>
  static char* put_le(char* p, Unsigned v) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, &v, sizeof v);
    } else {
      for (std::size_t i = 0; i < sizeof v; ++i) {
        p[i] = static_cast<char>(v >> (8 * i));
      }
    }
    return p + sizeof v;
  }

  void put(const void* p, std::size_t n) {
    if (used_ + n > chunk_) {
      if (n > chunk_) {  // a long text goes straight through
        flush();
        sink_.append(static_cast<const char*>(p), n);
        handed_ += n;
        return;
      }
      flush();
    }
    std::memcpy(buffer_.get() + used_, p, n);
    used_ += n;
  }

  ByteSink& sink_;
  BufferPool* pool_ = nullptr;
  std::size_t chunk_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::uint64_t handed_ = 0;  // bytes given to the sink
};

// The last section of a file, filled beside the writer of the sections
// before it, for a file whose sections are produced together (the x and the
// y values of the line geometry). Where the file can be written at a place,
// the section goes there chunk by chunk as it is filled, and never waits in
// memory; otherwise it is collected and appended after everything before
// it. Write through writer(), then call finish() once the file's writer has
// written everything before the section; nothing follows the section.
class ByteWriter::Tail final : ByteSink {
 public:
  // The section begins `offset` bytes from the start of the file that
  // `file` writes.
  Tail(ByteWriter& file, std::uint64_t offset)
      : file_(file),
        offset_(offset),
        writer_(file.pool_ != nullptr ? ByteWriter(*this, *file.pool_)
                                      : ByteWriter(*this, file.chunk_size())) {}

  ByteWriter& writer() { return writer_; }

  void finish() {
    writer_.flush();
    file_.flush();
    // A section that does not begin where the file's writer ended would
    // leave a gap in the file or overwrite it.
    if (file_.handed_ != offset_) {
      throw std::logic_error("a file's last section is not where it begins");
    }
    if (!collected_.empty()) {
      file_.sink_.append(collected_.data(), collected_.size());
    }
    file_.handed_ += written_ + collected_.size();
    collected_.clear();
  }

 private:
  void append(const char* data, std::size_t size) override {
    if (collected_.empty() &&
        file_.sink_.write_at(offset_ + written_, data, size)) {
      written_ += size;
    } else {
      collected_.append(data, size);
    }
  }

  ByteWriter& file_;
  std::uint64_t offset_;
  std::uint64_t written_ = 0;  // bytes already at their place
  std::string collected_;
  ByteWriter writer_;
};

}  // namespace scenc
