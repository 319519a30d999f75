// Cells of a table row for tests of the table writers: one builder per
// kind of value, each giving a non-NULL cell (Null() gives NULL).
#pragma once

#include <cstdint>
#include <string_view>

#include "TableFormats.h"

namespace tolvane::test {

using vcl::detail::TCell;

inline TCell Null() { return TCell{}; }
inline TCell Int(std::int64_t V) {
  TCell c;
  c.Null = false;
  c.Int = V;
  return c;
}
inline TCell Real(double V) {
  TCell c;
  c.Null = false;
  c.Float = V;
  return c;
}
inline TCell Text(std::string_view V) {
  TCell c;
  c.Null = false;
  c.Text = V;
  return c;
}
// A decimal: its exact text, and the double the engine had for it.
inline TCell Bcd(std::string_view V, double D = 0) {
  TCell c = Text(V);
  c.Float = D;
  return c;
}
inline TCell Bool(bool V) {
  TCell c;
  c.Null = false;
  c.Bool = V;
  return c;
}
inline TCell Date(int Y, int M, int D) {
  TCell c;
  c.Null = false;
  c.Date = {Y, M, D};
  return c;
}
inline TCell Time(std::int32_t Ms) {
  TCell c;
  c.Null = false;
  c.TimeMs = Ms;
  return c;
}
inline TCell Stamp(int Y, int M, int D, std::int32_t Ms) {
  TCell c = Date(Y, M, D);
  c.TimeMs = Ms;
  return c;
}

}  // namespace tolvane::test
