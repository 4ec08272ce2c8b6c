#include "tools/fault_messages.h"

#include <string_view>

namespace scenc::tools {
namespace {

struct FaultText {
  std::int32_t code;
  SourceKind source;
  std::string_view message;
};

constexpr FaultText kFaults[] = {
    {1, SourceKind::kLine, "line length is negative or greater than 1000000 m"},
    {2, SourceKind::kLine,
     "kilometric progressive whose first or second number is not a multiple "
     "of 50"},
    {3, SourceKind::kLine, "signal repetition start is not a multiple of 50"},
    {4, SourceKind::kLine, "signal repetition end is not a multiple of 50"},
    {5, SourceKind::kLine,
     "signal repetition keyword holds neither a 4 nor a 9"},
    {6, SourceKind::kLine, "signboard on a cell that is already taken"},
    {7, SourceKind::kTrain,
     "abbattimento mark on a cell that is already taken"},
    {8, SourceKind::kTrain, "station position is not a multiple of 50"},
    {9, SourceKind::kTrain, "station length is not a multiple of 100"},
    {10, SourceKind::kTrain,
     "too many stations: they would reach the slots of the signboard texts"},
    {11, SourceKind::kTrain,
     "no free cell before a signal ahead of a slow-order warning for its "
     "abbattimento mark"},
    {12, SourceKind::kTrain,
     "no free cell for an abbattimento mark before a slow-order start"},
    {13, SourceKind::kTrain,
     "no free cell for an abbattimento mark inside or after a slow order"},
    {15, SourceKind::kTrain,
     "position beyond the end of the track cells (or a placement outside "
     "them); the rest of the source is skipped"},
    {16, SourceKind::kTrain, "signal on a cell that is already taken"},
    {17, SourceKind::kTrain,
     "slow-order warning cell, 1200 m before the start, is already taken"},
    {18, SourceKind::kTrain, "slow-order start cell is already taken"},
    {19, SourceKind::kTrain, "slow-order end cell is already taken"},
    {20, SourceKind::kTrain,
     "the four approach cells of a slow order are not all free"},
    {21, SourceKind::kLine,
     "speed-indicator board on a cell that is already taken"},
    {22, SourceKind::kTrain,
     "station starts less than 350 m after the previous station ends"},
    {24, SourceKind::kTrain,
     "station marker would fall in cell 1 or below: the station ends at "
     "100 m or less"},
    {25, SourceKind::kLine,
     "general failure: a number too large for its field, a source that ends "
     "inside a row, a line without its length row, or too many signboards"},
    {101, SourceKind::kLine, "line source file missing"},
    {102, SourceKind::kLine,
     "the line source ends before a field holding \"[generale]\""},
    {103, SourceKind::kLine,
     "curve without a class digit from 1 to 6, or a line profile longer than "
     "1000000 m"},
};

const FaultText* find(std::int32_t code) {
  for (const FaultText& f : kFaults) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

}  // namespace

std::string fault_message(std::int32_t code) {
  const FaultText* f = find(code);
  return f ? std::string(f->message) : "fault " + std::to_string(code);
}

SourceKind usual_source_of(std::int32_t code) {
  const FaultText* f = find(code);
  return f ? f->source : SourceKind::kLine;
}

}  // namespace scenc::tools
