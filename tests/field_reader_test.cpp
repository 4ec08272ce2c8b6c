#include "compiler/field_reader.h"

#include <gtest/gtest.h>

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
      {"pendenza  , 300    , 4\r\n", "TNN", {"pendenza  ", "300", "4", "<end>"}},
      // Numbers separated by blanks alone; the trailing blank does not eat
      // the line end, which ends the next (empty) field.
      {"orologio,    10     49   30 \r\n[x]\r\n", "TNNNTT",
       {"orologio", "10", "49", "30", "", "[x]", "<end>"}},
      // Empty lines read as empty fields; leading blanks are skipped,
      // trailing ones kept.
      {"\r\n\r\n  abc  \r\n", "TTT", {"", "", "abc  ", "<end>"}},
      // A quoted field runs to its closing quote across commas and lines;
      // what follows it up to the comma is dropped.
      {"\"a,b\r\nc\" junk, 5\r\n", "TN", {"a,b\r\nc", "5", "<end>"}},
      // A number field that does not hold a number reads as 0.
      {"12abc, 1.5, , -4, +7, -\r\n", "NNNNNN", {"0", "0", "0", "-4", "7", "0", "<end>"}},
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
}

}  // namespace
}  // namespace scenc
