#include "output/write_behind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Where each piece of a file landed, and how long it was.
class PieceSink final : public ByteSink {
 public:
  void append(const char* data, std::size_t size) override {
    pieces.push_back({end_, size});
    place(end_, data, size);
    end_ += size;
  }
  bool write_at(std::uint64_t offset, const char* data,
                std::size_t size) override {
    pieces.push_back({offset, size});
    place(offset, data, size);
    return true;
  }
  std::vector<std::pair<std::uint64_t, std::size_t>> pieces;
  std::string bytes;

 private:
  void place(std::uint64_t at, const char* data, std::size_t size) {
    if (bytes.size() < at + size) bytes.resize(at + size);
    bytes.replace(at, size, data, size);
  }
  std::uint64_t end_ = 0;
};

// The pieces a carried writer hands over end where the file's pages end,
// for a file and for its last section alike, except each one's last piece;
// the bytes are those written.
TEST(WriteBehind, FullChunksEndOnPageBoundaries) {
  WriteBehind carrier(1 << 16);
  PieceSink sink;
  const std::string head = pattern(300'001);
  const std::string tail = pattern(200'003);
  {
    ByteWriter out(sink, carrier);
    ByteWriter::Tail section(out, head.size());
    std::size_t h = 0;
    std::size_t t = 0;
    while (h < head.size() || t < tail.size()) {
      if (h < head.size()) out.bytes(std::string_view(head).substr(h, 7));
      if (t < tail.size()) {
        section.writer().bytes(std::string_view(tail).substr(t, 5));
      }
      h += 7;
      t += 5;
    }
    section.finish();
  }
  EXPECT_EQ(sink.bytes, head + tail);
  std::size_t ends_off_page = 0;
  for (const auto& [offset, size] : sink.pieces) {
    if ((offset + size) % 4096 != 0) ++ends_off_page;
  }
  EXPECT_LE(ends_off_page, 2u);  // the last piece of each writer
  EXPECT_GT(sink.pieces.size(), 8u);
}

}  // namespace
}  // namespace scenc
