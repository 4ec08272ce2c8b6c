#include "compiler/field_reader.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace scenc {
namespace {

// Reads a sequence of fields; 'T' reads a text field, 'N' a number field.
// Numbers come back as decimal text, so one list holds both.
std::vector<std::string> read_fields(std::string_view bytes, std::string_view kinds) {
  FieldReader r(bytes);
  std::vector<std::string> out;
  for (char k : kinds) {
    if (k == 'T') {
      out.emplace_back(r.read_text_field());
    } else {
      const auto v = r.read_number_field();
      out.push_back(v ? std::to_string(*v) : "too large");
    }
  }
  out.push_back(r.at_end() ? "<end>" : "<more>");
  return out;
}

TEST(FieldReader, ReadsFieldsAcrossLinesAsOneStream) {
  const struct {
    std::string_view bytes, kinds;
    std::vector<std::string> expected;
  } cases[] = {
      // Blanks and one comma after a number belong to it.
      {"pendenza  , 300    , 4\r\n",
       "TNN",
       {"pendenza  ", "300", "4", "<end>"}},
      // Numbers separated by blanks alone; the trailing blank does not eat
      // the line end, which ends the next (empty) field.
      {"orologio,    10     49   30 \r\n[x]\r\n",
       "TNNNTT",
       {"orologio", "10", "49", "30", "", "[x]", "<end>"}},
      // A blank ends a number wherever it stands, as the authors' reference
      // says: "1 000" is two numbers; a text runs on past it.
      {"x, 1 000, a b\r\n", "TNNT", {"x", "1", "0", "a b", "<end>"}},
      // Empty lines read as empty fields; leading blanks are skipped,
      // trailing ones kept.
      {"\r\n\r\n  abc  \r\n", "TTT", {"", "", "abc  ", "<end>"}},
      // A quoted field runs to its closing quote across commas and lines;
      // what follows it up to the comma is dropped.
      {"\"a,b\r\nc\" junk, 5\r\n", "TN", {"a,b\r\nc", "5", "<end>"}},
      // A number field that does not hold a number reads as 0.
      {"12abc, 1.5, , -4, +7, -\r\n",
       "NNNNNN",
       {"0", "0", "0", "-4", "7", "0", "<end>"}},
      {"99999999999999999999999\r\n", "N", {"too large", "<end>"}},
      // Lone LF and lone CR end lines too; the last line needs no line end.
      {"a\nb\rc", "TTT", {"a", "b", "c", "<end>"}},
      // The end is reached only once the last line end has been read.
      {"7,8\r\n", "N", {"7", "<more>"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read_fields(c.bytes, c.kinds), c.expected) << c.bytes;
  }
}

TEST(FieldReader, ReadingPastTheEndIsTheGeneralFailure) {
  FieldReader r("stazione, 100\r\n");
  r.read_text_field();
  r.read_number_field();
  EXPECT_TRUE(r.at_end());
  EXPECT_THROW(r.read_number_field(), GeneralFailure);
  EXPECT_THROW(FieldReader("").read_text_field(), GeneralFailure);
}

TEST(FieldReader, TypedNumbersMustFitTheirField) {
  FieldReader r("255, 256, -1, 32767, 40000\r\n");
  EXPECT_EQ(r.read_number<std::uint8_t>(), 255);
  EXPECT_THROW(r.read_number<std::uint8_t>(), GeneralFailure);
  EXPECT_THROW(r.read_number<std::uint8_t>(), GeneralFailure);
  EXPECT_EQ(r.read_number<std::int16_t>(), 32767);
  EXPECT_THROW(r.read_number<std::int16_t>(), GeneralFailure);
}

TEST(FieldReader, KnowsWhereEachFieldStarts) {
  FieldReader r("a, b\r\n\"x\r\ny\",  7\r\n");
  r.read_text_field();
  r.read_text_field();
  EXPECT_EQ(r.field_line(), 1);
  EXPECT_EQ(r.field_column(), 4);
  r.read_text_field();
  EXPECT_EQ(r.field_line(), 2);
  EXPECT_EQ(r.field_column(), 1);
  r.read_number_field();
  EXPECT_EQ(r.field_line(), 3);
  EXPECT_EQ(r.field_column(), 6);

  // Inside a quoted field, CR LF, a lone CR and a lone LF each end a line.
  FieldReader q("\"\r\n\r\r\n\n12\",  3,\r\n\"\r\",x");
  q.read_text_field();
  q.read_number_field();
  EXPECT_EQ(q.field_line(), 5);
  EXPECT_EQ(q.field_column(), 7);
  q.read_text_field();
  q.read_text_field();
  EXPECT_EQ(q.field_line(), 6);
  EXPECT_EQ(q.read_text_field(), "x");
  EXPECT_EQ(q.field_line(), 7);
  EXPECT_EQ(q.field_column(), 3);
}

#ifndef SCENARIO_SANITIZED
// A source of more than 2^31 line ends: the same 2 MiB of line ends mapped
// over and over, with a quote at both ends and one more field after them.
// It costs a pass over 2 GiB, too slow for the sanitizers to be worth it.
TEST(FieldReader, CountsLinesBeyondThirtyTwoBits) {
  constexpr std::size_t kChunk = std::size_t{1} << 21;
  constexpr std::size_t kSize = (std::size_t{1} << 31) + kChunk;
  const int fd = ::memfd_create("line-ends", 0);
  ASSERT_GE(fd, 0);
  const std::string line_ends(kChunk, '\n');
  ASSERT_EQ(::write(fd, line_ends.data(), kChunk),
            static_cast<ssize_t>(kChunk));
  void* const area = ::mmap(nullptr, kSize, PROT_NONE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(area, MAP_FAILED);
  char* const bytes = static_cast<char*>(area);
  for (std::size_t at = 0; at < kSize; at += kChunk) {
    ASSERT_NE(::mmap(bytes + at, kChunk, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_FIXED, fd, 0),
              MAP_FAILED);
  }
  ::close(fd);
  bytes[0] = '"';
  bytes[kSize - 3] = '"';
  bytes[kSize - 2] = ',';
  bytes[kSize - 1] = 'x';

  FieldReader r(std::string_view(bytes, kSize));
  EXPECT_EQ(r.read_text_field().size(), kSize - 4);
  EXPECT_EQ(r.read_text_field(), "x");
  EXPECT_EQ(r.field_line(), static_cast<std::int64_t>(kSize) - 3);
  EXPECT_EQ(r.field_column(), 3);
  EXPECT_TRUE(r.at_end());
  ::munmap(area, kSize);
}
#endif

}  // namespace
}  // namespace scenc
