#include "model/cp1252.h"

#include <gtest/gtest.h>

#include "compiler/memorizza_dati.h"

namespace scenc {
namespace {

TEST(Utf8ToCp1252, MapsEachCharacterToOneByte) {
  const struct {
    const char* utf8;
    const char* cp1252;
  } cases[] = {
      {"Firenze_Pisa", "Firenze_Pisa"},
      {"", ""},
      {"Citt\xC3\xA0", "Citt\xE0"},  // a grave, Latin-1 range
      {"\xC3\xBF", "\xFF"},          // last byte of the page
      {"\xE2\x82\xAC"
       "5",
       "\x80"
       "5"},                                 // euro sign
      {"\xC5\x92\xE2\x80\x94", "\x8C\x97"},  // OE ligature, em dash
      {"\xC2\x81", "\x81"},                  // undefined byte passes through
      {"\xC2\x80", "?"},                     // C1 control the page lacks
      {"\xE4\xB8\xAD", "?"},                 // CJK: outside the page
      {"\xF0\x9F\x9A\x82!", "?!"},           // four-byte character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8_to_cp1252(c.utf8), c.cp1252) << c.utf8;
  }
}

TEST(Utf8ToCp1252, ReplacesEachMalformedSequenceOnce) {
  const struct {
    const char* utf8;
    const char* cp1252;
  } cases[] = {
      {"a\xE0z", "a?z"},             // a Latin-1 byte, not UTF-8
      {"\x80\xBF", "??"},            // stray continuation bytes
      {"\xE2\x82", "?"},             // truncated at the end
      {"\xE2\x82z", "?z"},           // truncated before an ASCII byte
      {"\xC0\xAF", "??"},            // overlong slash
      {"\xED\xA0\x80", "???"},       // surrogate half
      {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8_to_cp1252(c.utf8), c.cp1252) << c.utf8;
  }
}

// Names go out to terminals and JSON as UTF-8 and come back from a command
// line through the same table: every byte of the page survives the trip.
TEST(Cp1252ToUtf8, EveryByteComesBackThroughUtf8) {
  EXPECT_EQ(cp1252_to_utf8("Pian\xD2 \x80"), "Pian\xC3\x92 \xE2\x82\xAC");
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(byte)), byte) << b;
  }
}

// The five bytes the code page leaves undefined count as inside it: each
// is stored as itself and shown as the character of the same number.
TEST(Cp1252, TheFiveUndefinedBytesCountAsInsideThePage) {
  for (const unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    const std::string byte(1, static_cast<char>(b));
    const std::string character{static_cast<char>(0xC2), static_cast<char>(b)};
    EXPECT_EQ(utf8_to_cp1252(character), byte) << int{b};
    EXPECT_EQ(cp1252_to_utf8(byte), character) << int{b};
  }
}

TEST(Utf8ToCp1252, NamesReachTheSlotsAsSingleByteText) {
  Model m;
  m.clear_for_build(0);
  m.line_name = "Citt\xC3\xA0";
  m.train_number =
      "\xE2\x82\xAC"
      "1";
  MemorySources none;
  memorizza_dati(m, none);
  EXPECT_EQ(m.scenario_slots[kLineSlot].name, "Citt\xE0");
  EXPECT_EQ(m.scenario_slots[kTrainSlot].name,
            "\x80"
            "1");
  EXPECT_EQ(m.line_name, "Citt\xC3\xA0");  // file names keep the name as given
}

}  // namespace
}  // namespace scenc
