#include "model/scenario_codes.h"

#include <string_view>

#include "model/cp1252.h"

namespace scenc {
namespace {

// Appended after the names so that the string always has the 25 characters
// the codes read, even when both names are empty. Already small letters.
constexpr std::string_view kFiller = "ppqqrrssttuuvvzzwwxxyykkjj";
constexpr int kCodedCharacters = 25;

// Builds the code string into `input_line`: train number, then line name,
// lower-cased, then the filler.
const std::string& build_code_string(Model& model) {
  model.input_line = cp1252_lower(model.scenario_slots[kTrainSlot].name +
                                  model.scenario_slots[kLineSlot].name);
  model.input_line += kFiller;
  return model.input_line;
}

// Sums the first 25 characters as unsigned byte values, each multiplied by
// its 1-based position when `weighted`.
std::int32_t sum_code_string(Model& model, bool weighted) {
  const std::string& text = build_code_string(model);
  std::int32_t sum = 0;
  for (int i = 1; i <= kCodedCharacters; ++i) {
    const std::int32_t c = static_cast<unsigned char>(text[i - 1]);
    sum += weighted ? c * i : c;
  }
  return sum;
}

}  // namespace

std::int32_t codice_gara_og(Model& model) {
  return sum_code_string(model, false);
}

std::int32_t codice_gara_st(Model& model) {
  return sum_code_string(model, true);
}

}  // namespace scenc
