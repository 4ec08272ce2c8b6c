#include "output/write_behind.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "output/output_directory.h"

namespace scenc {
namespace {

// Takes chunks into memory and fails at the chunk `fail_at` (counted from
// 1; 0 never), as a disk that fills up does.
class FailingSink final : public ByteSink {
 public:
  explicit FailingSink(int fail_at) : fail_at_(fail_at) {}
  void append(const char* data, std::size_t size) override {
    if (++chunks_ == fail_at_)
      throw FileError{"file", "No space left on device"};
    bytes.append(data, size);
  }
  std::string bytes;

 private:
  int fail_at_;
  int chunks_ = 0;
};

std::string pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// Writes `text` byte by byte through a writer on `carrier`.
void write_through(ByteSink& sink, WriteBehind& carrier,
                   const std::string& text) {
  ByteWriter out(sink, carrier);
  for (const char c : text) out.u8(static_cast<std::uint8_t>(c));
  out.flush();
}

// The chunks of a small file are written on the caller's thread and those
// of a large one by the carrier's thread; both arrive whole and in order,
// file after file, and a failure stops its own file alone.
TEST(WriteBehind, LargeFilesArriveInOrderAndAFailureStaysWithItsFile) {
  WriteBehind carrier(64);
  for (const std::size_t size :
       {std::size_t{10}, std::size_t{64 * 8}, std::size_t{64 * 100 + 7}}) {
    FailingSink sink(0);
    write_through(sink, carrier, pattern(size));
    EXPECT_EQ(sink.bytes, pattern(size)) << size;
  }
  for (const int fail_at : {3, 40, 101}) {
    FailingSink sink(fail_at);
    EXPECT_THROW(write_through(sink, carrier, pattern(64 * 100 + 7)), FileError)
        << fail_at;
    FailingSink next(0);
    write_through(next, carrier, pattern(64 * 50));
    EXPECT_EQ(next.bytes, pattern(64 * 50)) << "after a failure at " << fail_at;
  }
}

// A writer that ends before its file is complete (its fill threw) takes the
// chunks still on their way with it: none reaches a sink that is gone.
TEST(WriteBehind, AWriterThatEndsEarlyLeavesNothingOnItsWay) {
  WriteBehind carrier(64);
  for (int round = 0; round < 20; ++round) {
    try {
      FailingSink sink(0);
      ByteWriter out(sink, carrier);
      for (int i = 0; i < 64 * 60; ++i) out.u8(1);
      throw std::runtime_error("the fill failed");
    } catch (const std::runtime_error&) {
    }
  }
  FailingSink sink(0);
  write_through(sink, carrier, pattern(64 * 40));
  EXPECT_EQ(sink.bytes, pattern(64 * 40));
}

}  // namespace
}  // namespace scenc
