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

// Carries a writer's full chunks to their sink while the writer goes on
// filling the next: for a large file the copy into the file then costs no
// time of the encoding's. Chunks reach their sinks in the order carried.
class ChunkCarrier {
 public:
  virtual ~ChunkCarrier() = default;
  // The size of every buffer the carrier lends.
  virtual std::size_t buffer_size() const = 0;
  // A buffer to fill; waits while every buffer is on its way.
  virtual std::unique_ptr<char[]> take_buffer() = 0;
  // Hands the first `size` bytes of `buffer` on to `sink`, and leaves in
  // `buffer` the one to fill next: the same when the chunk was written at
  // once, another while it is on its way. Rethrows what an earlier chunk
  // failed with; `buffer` is then still the writer's.
  virtual void carry(ByteSink& sink, std::unique_ptr<char[]>& buffer,
                     std::size_t size) = 0;
  // A buffer no longer needed.
  virtual void give_back(std::unique_ptr<char[]> buffer) noexcept = 0;
  // Waits until every chunk carried is with its sink; rethrows the first
  // failure.
  virtual void drain() = 0;
  // Drops every chunk not yet written, waits for the one being written, and
  // forgets a failure: for a writer that ends before its file is complete,
  // whose sink may not outlive it.
  virtual void abandon() noexcept = 0;
};

class ByteWriter {
 public:
  class Tail;

  // A quarter of a megabyte per chunk: on disk, every write call costs the
  // file system a fixed toll besides its copy, which smaller chunks pay
  // visibly over a geometry file of twenty megabytes.
  explicit ByteWriter(ByteSink& sink, std::size_t chunk = 1 << 18)
      : sink_(sink), chunk_(chunk < 16 ? 16 : chunk), buffer_(new char[chunk_]) {}
  // A writer whose full chunks `carrier` hands to the sink, in its buffers.
  ByteWriter(ByteSink& sink, ChunkCarrier& carrier)
      : sink_(sink),
        carrier_(&carrier),
        chunk_(carrier.buffer_size()),
        buffer_(carrier.take_buffer()) {}
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;
  // Call flush() first: what is still buffered or on its way is dropped.
  ~ByteWriter() {
    if (carrier_ != nullptr) {
      carrier_->abandon();
      carrier_->give_back(std::move(buffer_));
    }
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
    if (used_ + n > chunk_) send_full_chunk();
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

  // Hands everything buffered to the sink, and returns once the sink has
  // everything written through this writer.
  void flush() {
    if (carrier_ != nullptr) carrier_->drain();
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
      send_full_chunk();
    }
    std::memcpy(buffer_.get() + used_, p, n);
    used_ += n;
  }

  // A chunk that is full goes to the sink through the carrier, if any, and
  // the writer fills another buffer meanwhile.
  void send_full_chunk() {
    if (carrier_ == nullptr || used_ == 0) return flush();
    carrier_->carry(sink_, buffer_, used_);
    handed_ += used_;
    used_ = 0;
  }

  ByteSink& sink_;
  ChunkCarrier* carrier_ = nullptr;
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
        writer_(file.carrier_ != nullptr
                    ? ByteWriter(*this, *file.carrier_)
                    : ByteWriter(*this, file.chunk_size())) {}

  ByteWriter& writer() { return writer_; }

  void finish() {
    writer_.flush();
    file_.flush();  // after the section's chunks: the file's writer drains
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
