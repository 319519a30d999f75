// POSTNET: the bar table, the check digit and the encoder.
#include <cstddef>
#include <iterator>

#include "BarcodeDef.h"

namespace tolvane {

namespace {

// A digit's five bars sit in bits 7..3, bar 0 (bit 7) first: 1 full, 0 half.
constexpr int BarsPerDigit = 5;
constexpr std::uint8_t BarMask = 0xF8;

}  // namespace

// The USPS POSTNET digit table (USPS Publication 25): five bars
// a digit, two of them full height, weighted 7 4 2 1 0 from the left, the
// pair 7 + 4 standing for 0.
constexpr std::uint8_t BC_POSTNET[10] = {
    // 0..4: FFhhh hhhFF hhFhF hhFFh hFhhF
    0xC0, 0x18, 0x28, 0x30, 0x48,
    // 5..9: hFhFh hFFhh FhhhF FhhFh FhFhh
    0x50, 0x60, 0x88, 0x90, 0xA0,
};

namespace {

static_assert(std::size(BC_POSTNET) == 10, "one entry per digit");

constexpr bool FullBar(std::uint8_t Entry, int K) { return (Entry >> (7 - K)) & 1u; }

// Every digit has exactly two full bars of five, bits 2..0 clear, and no two
// digits share a pattern.
constexpr bool TableWellFormed() {
  for (std::size_t I = 0; I < std::size(BC_POSTNET); ++I) {
    if ((BC_POSTNET[I] & ~BarMask) != 0) return false;
    int Full = 0;
    for (int K = 0; K < BarsPerDigit; ++K) Full += FullBar(BC_POSTNET[I], K) ? 1 : 0;
    if (Full != 2) return false;
    for (std::size_t J = I + 1; J < std::size(BC_POSTNET); ++J)
      if (BC_POSTNET[J] == BC_POSTNET[I]) return false;
  }
  return true;
}
static_assert(TableWellFormed(), "a BC_POSTNET digit is not two full bars of five, or repeats");

// The bar rectangles of one call: full bars from Y to Y + Height, half bars
// from Y + Height div 2 (truncated toward zero, so an odd Height gives the
// half bar the larger half) to the same baseline. Each bar is Scale wide.
struct TBars {
  vcl::TCanvas* Canvas;
  std::int32_t Y, HalfTop, Bottom, Scale;

  void Paint(std::int32_t X, bool Full) const {
    Canvas->Rectangle(X, Full ? Y : HalfTop, WrapAdd(X, Scale), Bottom);
  }
};

}  // namespace

// The digit that brings the sum of (code - 48) over Text to a multiple of
// 10. Characters are not checked: a text with a non-digit can give a
// character outside '0'..'9' (the sum taken modulo 10 with truncation, so a
// negative sum gives 10 - r above 9).
char POSTNET_Check(std::string Text) {
  std::int64_t Sum = 0;  // cannot overflow for any string that fits in memory
  for (char Ch : Text) Sum += static_cast<unsigned char>(Ch) - '0';
  const std::int64_t C = 10 - Sum % 10;
  return static_cast<char>('0' + (C == 10 ? 0 : C));
}

// Paints the start frame bar, Text and its check digit five bars a digit,
// and the end frame bar, at a pitch of two modules. A character that is not
// a digit ends the drawing where it stands: the bars before it stay, the end
// frame bar is not drawn.
void BarcodePOSTNET(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  const TBars Bars{Canvas, Y, WrapAdd(Y, Height / 2), WrapAdd(Y, Height), Scale};
  const std::string Symbol = Text + POSTNET_Check(Text);
  Bars.Paint(X, true);
  X = WrapAdd(X, Scale);
  for (char Ch : Symbol) {
    if (Ch < '0' || Ch > '9') return;
    const std::uint8_t Entry = BC_POSTNET[Ch - '0'];
    for (int K = 0; K < BarsPerDigit; ++K) {
      X = WrapAdd(X, Scale);
      Bars.Paint(X, FullBar(Entry, K));
      X = WrapAdd(X, Scale);
    }
  }
  X = WrapAdd(X, Scale);
  Bars.Paint(X, true);
}

}  // namespace tolvane
