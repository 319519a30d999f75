// Interleaved 2 of 5: the pattern table and the encoder that paints it.
#include <cstddef>
#include <iterator>

#include "BarcodeDef.h"

namespace tolvane {

namespace {

// BC_Int2of5 starts at '/', the start marker; '0'..'9' follow, then ':', the
// stop marker.
constexpr int FirstCode = '/';
constexpr std::size_t StartIndex = 0;
constexpr std::size_t StopIndex = 11;
constexpr char StartMarker = '/';
constexpr char StopMarker = ':';
// The start pattern is 4 modules, the stop pattern 5, both read from bit 7.
constexpr int StartModules = 4;
constexpr int StopModules = 5;
// A digit has five elements, their width flags in bits 7..3 (bit 7 - k for
// element k); a wide element is three modules, a narrow one one module.
constexpr int ElementsPerDigit = 5;
constexpr std::int32_t WideModules = 3;
constexpr std::uint8_t ElementMask = 0xF8;

}  // namespace

// The Interleaved 2 of 5 symbology as published (ISO/IEC 16390, ANSI/AIM
// BC2): each digit is five elements, two of them wide; the first digit of a
// pair takes the widths of five bars, the second those of the five spaces
// between them. The start pattern is narrow bar, narrow space, narrow bar,
// narrow space (1010); the stop pattern wide bar, narrow space, narrow bar
// (11101). Those two entries are module patterns read from bit 7, the digits
// width flags (bit 7 - k set: element k is wide).
constexpr std::uint8_t BC_Int2of5[12] = {
    // 0: '/' start, 1010
    0xA0,
    // 1..5:  '0' NNWWN, '1' WNNNW, '2' NWNNW, '3' WWNNN, '4' NNWNW
    0x30, 0x88, 0x48, 0xC0, 0x28,
    // 6..10: '5' WNWNN, '6' NWWNN, '7' NNNWW, '8' WNNWN, '9' NWNWN
    0xA0, 0x60, 0x18, 0x90, 0x50,
    // 11: ':' stop, 11101
    0xE8,
};

namespace {

static_assert(std::size(BC_Int2of5) == 12, "'/', the ten digits and ':'");
static_assert(FirstCode + static_cast<int>(StopIndex) == StopMarker, "':' is the last entry");

constexpr bool FlagSet(std::uint8_t Entry, int K) { return (Entry >> (7 - K)) & 1u; }

// The modules of a start or stop entry, '1' for dark, and nothing below them.
constexpr bool ModulesAre(std::uint8_t Entry, const char* Modules, int Count) {
  for (int K = 0; K < Count; ++K)
    if (FlagSet(Entry, K) != (Modules[K] == '1')) return false;
  return (Entry & ((1u << (8 - Count)) - 1)) == 0;
}
static_assert(ModulesAre(BC_Int2of5[StartIndex], "1010", StartModules), "start pattern 1010");
static_assert(ModulesAre(BC_Int2of5[StopIndex], "11101", StopModules), "stop pattern 11101");

// Every digit has exactly two wide elements of five, bits 2..0 clear, and no
// two digits share a pattern.
constexpr bool DigitsWellFormed() {
  for (std::size_t I = StartIndex + 1; I < StopIndex; ++I) {
    const std::uint8_t Entry = BC_Int2of5[I];
    if ((Entry & ~ElementMask) != 0) return false;
    int Wide = 0;
    for (int K = 0; K < ElementsPerDigit; ++K) Wide += FlagSet(Entry, K) ? 1 : 0;
    if (Wide != 2) return false;
    for (std::size_t J = I + 1; J < StopIndex; ++J)
      if (BC_Int2of5[J] == Entry) return false;
  }
  return true;
}
static_assert(DigitsWellFormed(), "a BC_Int2of5 digit is not two wide of five, or repeats");

// Paints the first Count modules of a start or stop entry, one Scale-wide
// rectangle per dark module, and returns the x after them.
std::int32_t PaintModules(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                          std::int32_t Scale, std::uint8_t Entry, int Count) {
  const std::int32_t Bottom = WrapAdd(Y, Height);
  for (int K = 0; K < Count; ++K) {
    if (FlagSet(Entry, K)) Canvas->Rectangle(X, Y, WrapAdd(X, Scale), Bottom);
    X = WrapAdd(X, Scale);
  }
  return X;
}

// Paints a digit pair: five bars in the widths of Bars, each one rectangle
// of its full width, and after each bar a space in the width of the same
// element of Spaces. Returns the x after the last space.
std::int32_t PaintPair(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                       std::int32_t Scale, std::uint8_t Bars, std::uint8_t Spaces) {
  const std::int32_t Bottom = WrapAdd(Y, Height);
  const std::int32_t Wide = WrapMul(WideModules, Scale);
  for (int K = 0; K < ElementsPerDigit; ++K) {
    const std::int32_t Bar = FlagSet(Bars, K) ? Wide : Scale;
    Canvas->Rectangle(X, Y, WrapAdd(X, Bar), Bottom);
    X = WrapAdd(X, Bar);
    X = WrapAdd(X, FlagSet(Spaces, K) ? Wide : Scale);
  }
  return X;
}

// The table index of a character, or StopIndex + 1 when it has none.
std::size_t IndexOf(char Ch) {
  const int Index = static_cast<unsigned char>(Ch) - FirstCode;
  return Index < 0 ? StopIndex + 1 : static_cast<std::size_t>(Index);
}

}  // namespace

// Paints '/' + Text + ':' from X on, Text made even by a leading '0'. The
// markers draw the start and stop patterns module by module; the rest is
// taken in pairs. A pair holding a character outside '/'..':' ends the
// drawing there: what is painted stays, the stop pattern is not drawn.
//
// '/' or ':' inside Text are drawn as they come, not rejected: one at the
// start of a pair draws the start or stop pattern in the middle of the
// symbol and shifts the pairing by one; one as the second digit of a pair
// lends its byte as space widths. That reads nothing out of bounds: the
// working string always ends in ':', which is drawn on its own, so a pair
// never starts at the last character, and both markers have table entries.
// Such a symbol reads as nothing, but no input drawn through FilterBCText
// holds them.
void BarcodeInt2of5(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  if (Text.size() % 2 != 0) Text.insert(Text.begin(), '0');
  const std::string Symbol = StartMarker + Text + StopMarker;
  std::size_t P = 0;
  while (P < Symbol.size()) {
    if (Symbol[P] == StartMarker) {
      X = PaintModules(Canvas, X, Y, Height, Scale, BC_Int2of5[StartIndex], StartModules);
      ++P;
    } else if (Symbol[P] == StopMarker) {
      X = PaintModules(Canvas, X, Y, Height, Scale, BC_Int2of5[StopIndex], StopModules);
      ++P;
    } else {
      // Symbol ends with ':', so P + 1 is inside it here.
      const std::size_t A = IndexOf(Symbol[P]), B = IndexOf(Symbol[P + 1]);
      if (A > StopIndex || B > StopIndex) return;
      X = PaintPair(Canvas, X, Y, Height, Scale, BC_Int2of5[A], BC_Int2of5[B]);
      P += 2;
    }
  }
}

}  // namespace tolvane
