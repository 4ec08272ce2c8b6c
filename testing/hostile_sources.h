// Sources that no author would write on purpose, made at run time at any
// size: shared by the tests that feed them to the compiler and by the
// benchmark that shows their cost grows in step with their size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace scenc::hostile {

// A train source whose body is `size` bytes of commas: that many empty
// keyword fields.
inline std::string commas(std::size_t size) {
  return "inizio_dati\r\n[generale]\r\n" + std::string(size, ',');
}

// A line source that is one line of `size` bytes without a line end: the
// general rows and a header as comma-separated fields, then a signboard
// whose text runs to the end of the source.
inline std::string one_long_line(std::size_t size) {
  std::string text =
      "[generale],lunghezza percorso,1000,[pendenze],cartello indicatore,100,";
  if (text.size() < size) text.append(size - text.size(), 'x');
  return text;
}

// A line source of `length` metres with `curves` curves of 100 m spread
// evenly over it, alternately to either side.
inline std::string many_curves(std::int32_t length, std::int32_t curves) {
  std::string text = "[generale]\r\nlunghezza percorso, " +
                     std::to_string(length) + "\r\n[curve]\r\n";
  const std::int64_t step = curves > 0 ? (length - 100) / curves : 0;
  for (std::int32_t i = 0; i < curves; ++i) {
    text += (i % 2 == 0 ? "curvad3, " : "curvas3, ") +
            std::to_string(i * step) + ", 100\r\n";
  }
  return text + "[fine]\r\n";
}

// A line source whose general section repeats the length row of the
// longest line until it is about `size` bytes long.
inline std::string length_rows(std::size_t size) {
  const std::string row = "lunghezza percorso,1000000,";
  std::string text = "[generale],";
  while (text.size() < size) text += row;
  return text + "[pendenze]\r\n";
}

// A line source of the longest line whose body repeats mountain rows over
// the whole line, with markers and without, until it is about `size` bytes
// long: each row covers 20,000 cells.
inline std::string mountain_rows(std::size_t size) {
  std::string text =
      "[generale]\r\nlunghezza percorso, 1000000\r\n[montagne]\r\n";
  const std::string rows =
      "montagna, 0, 1000000, 12\r\nmontagna, 25, 999975, 2\r\n";
  while (text.size() < size) text += rows;
  // Ended in place: `text + "..."` would build the whole source again.
  text += "[fine]\r\n";
  return text;
}

// A line source of the longest line with a gradient row every `step`
// metres: below 50 m, rows share cells, and each still fills one, so the
// gradient cursor runs past the last cell and every later row is a fault.
inline std::string gradient_rows(std::int32_t step) {
  std::string text =
      "[generale]\r\nlunghezza percorso, 1000000\r\n[pendenze]\r\n";
  for (std::int32_t p = 0; p < 1000000; p += step) {
    text += "pendenza, " + std::to_string(p) + ", " +
            std::to_string(p / step % 7 - 3) + "\r\n";
  }
  return text + "[fine]\r\n";
}

// A train source of about `size` bytes for the embedded line: speed-limit
// rows over and over, and every `fault_every` bytes a signal on a cell a
// signal already takes, a fault that ends the stage and hides the rows
// behind it.
inline std::string train_with_faults(std::size_t size,
                                     std::size_t fault_every) {
  std::string text =
      "inizio_dati\r\n[generale]\r\nsegnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n";
  std::size_t next_fault = fault_every;
  for (std::int64_t i = 0; text.size() < size; ++i) {
    text += "velocita' limite, " + std::to_string(i * 50 % 88000) + ", " +
            std::to_string(30 + i % 20 * 5) + "\r\n";
    if (text.size() >= next_fault) {
      text += "segnale, 1000, 1,4,1,0,0, 0,0,0,0,0\r\n";
      next_fault += fault_every;
    }
  }
  return text + "[fine]\r\n";
}

// `size` bytes of noise, the same for the same seed on every machine.
inline std::string noise(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>(random() & 0xFF);
  return text;
}

// A train source that compiles on any line of at least 0 m.
inline std::string small_train() {
  return "inizio_dati\r\n[generale]\r\nnumero vetture, 6\r\n[fine]\r\n";
}

}  // namespace scenc::hostile
