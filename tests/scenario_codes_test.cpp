#include "model/scenario_codes.h"

#include <gtest/gtest.h>

#include <string>

#include "model/cp1252.h"

namespace scenc {
namespace {

struct Codes {
  std::int32_t plain;
  std::int32_t weighted;
  bool operator==(const Codes&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Codes& c) {
  return os << "{plain " << c.plain << ", weighted " << c.weighted << "}";
}

Codes codes_of(const std::string& train, const std::string& line) {
  Model m;
  m.scenario_slots[kTrainSlot].name = train;
  m.scenario_slots[kLineSlot].name = line;
  return {codice_gara_og(m), codice_gara_st(m)};
}

TEST(ScenarioCodes, EmbeddedScenario) {
  // Code string "11711firenze_pisa" + the first 8 filler letters "ppqqrrss".
  // Plain: "11711" 4*49 + 55 = 251; "firenze" 102+105+114+101+110+122+101
  // = 755; "_" 95; "pisa" 112+105+115+97 = 429; "ppqqrrss" 2*(112+113+114+
  // 115) = 908; total 2438.
  // Weighted, character value times position: 1-5 49+98+165+196+245 = 753;
  // 6-12 612+735+912+909+1100+1342+1212 = 6822; 13 95*13 = 1235; 14-17
  // 1568+1575+1840+1649 = 6632; 18-25 2016+2128+2260+2373+2508+2622+2760+
  // 2875 = 19542; total 34984.
  Model m;
  m.scenario_slots[kTrainSlot].name = "11711";
  m.scenario_slots[kLineSlot].name = "Firenze_Pisa";
  EXPECT_EQ(codice_gara_st(m), 34984);
  EXPECT_EQ(codice_gara_og(m), 2438);
  EXPECT_EQ(m.input_line, "11711firenze_pisappqqrrssttuuvvzzwwxxyykkjj");
}

TEST(ScenarioCodes, FixedValues) {
  const struct {
    const char* train;
    const char* line;
    Codes expected;
  } cases[] = {
      // The first 25 filler letters alone: 2 * (112+113+114+115+116+117+
      // 118+122+119+120+121+107) + 106 = 2894.
      {"", "", {2894, 37696}},
      // Exactly 25 characters, '0'..'9' then 'a'..'o': the value at
      // position i is 47 + i up to 10 and 86 + i after, so the plain code is
      // 525 + 1560 and the weighted code 47*55 + 385 + 86*270 + 5140.
      {"0123456789", "abcdefghijklmno", {2085, 31330}},
      // Whatever follows position 25 is ignored.
      {"0123456789", "abcdefghijklmnoZZZZZZZZ", {2085, 31330}},
      // Swapped names: same characters, other positions.
      {"Firenze_Pisa", "11711", {2438, 31601}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(codes_of(c.train, c.line), c.expected)
        << '"' << c.train << "\" \"" << c.line << '"';
  }
}

TEST(ScenarioCodes, CapitalsGiveTheCodesOfSmallLetters) {
  EXPECT_EQ(codes_of("11711", "FIRENZE_PISA"),
            codes_of("11711", "firenze_pisa"));
  EXPECT_EQ(codes_of("IC 11711", "Firenze"), codes_of("ic 11711", "firenze"));
  // Windows-1252 capitals beyond ASCII: A grave, S caron.
  EXPECT_EQ(codes_of("\xC0", "\x8A"), codes_of("\xE0", "\x9A"));
  // Bytes above 127 count as 0..255, never as negative characters.
  EXPECT_EQ(codes_of("\xFF", "").plain, 2894 - 106 + 255);
}

TEST(Cp1252Lower, MapsCapitalsOnly) {
  const struct {
    unsigned char in, out;
  } cases[] = {
      {'A', 'a'},   {'Z', 'z'},   {'@', '@'},   {'[', '['},   {'a', 'a'},
      {'5', '5'},   {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF},
      {0xC0, 0xE0}, {0xD6, 0xF6}, {0xD8, 0xF8}, {0xDE, 0xFE}, {0xD7, 0xD7},
      {0xDF, 0xDF}, {0xBF, 0xBF}, {0x80, 0x80}, {0x9A, 0x9A}, {0xE0, 0xE0},
      {0x8B, 0x8B}, {0x00, 0x00},
  };
  for (const auto& c : cases) {
    const std::string in(1, static_cast<char>(c.in));
    const std::string out = cp1252_lower(in);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), c.out) << int{c.in};
  }
}

}  // namespace
}  // namespace scenc
