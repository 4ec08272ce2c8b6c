// A sink into memory that, like a regular file, can also be written at a
// place: for the writers' paths that lay a file's last section straight
// where it belongs.
#pragma once

#include <cstdint>
#include <string>

#include "output/byte_writer.h"

namespace scenc::testing {

class PlacedSink final : public ByteSink {
 public:
  void append(const char* data, std::size_t size) override {
    put(end_, data, size);
    end_ += size;
  }
  bool write_at(std::uint64_t offset, const char* data,
                std::size_t size) override {
    put(static_cast<std::size_t>(offset), data, size);
    return true;
  }
  std::string bytes;

 private:
  void put(std::size_t at, const char* data, std::size_t size) {
    if (bytes.size() < at + size) bytes.resize(at + size, '\0');
    bytes.replace(at, size, data, size);
  }
  std::size_t end_ = 0;  // where append() goes on
};

}  // namespace scenc::testing
