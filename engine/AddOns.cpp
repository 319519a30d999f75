// The 2- and 5-digit UPC/EAN add-ons, drawn as symbols of their own: the
// parity of their digits carries the add-on's value or check value.
#include <bit>
#include <cstddef>
#include <iterator>

#include <vcl/SysUtils.h>

#include "BarcodeDef.h"
#include "EngineInternal.h"

namespace tolvane {

// By the 5-digit add-on's check value, the parities of its five digits in
// bits 7..3 (bit 7 the first digit, 1 = G code), as in the UPC/EAN standard
// (ISO/IEC 15420).
constexpr std::uint8_t BC_UPC5ext_Parity[10] = {
    // 0..4:  GGLLL  GLGLL  GLLGL  GLLLG  LGGLL
    0xC0, 0xA0, 0x90, 0x88, 0x60,
    // 5..9:  LLGGL  LLLGG  LGLGL  LGLLG  LLGLG
    0x30, 0x18, 0x50, 0x48, 0x28,
};

namespace {

constexpr int DigitModules = 7;
constexpr std::uint8_t StartPattern = 0xB0;  // 1011
constexpr int StartModules = 4;
constexpr std::uint8_t Delineator = 0x40;    // 01
constexpr int DelineatorModules = 2;
constexpr std::size_t UPC2Length = 2;
constexpr std::size_t UPC5Length = 5;

// Two G codes in five digits, bits 2..0 clear, ten different patterns: the
// ten ways of choosing two of five.
constexpr bool ParityTableWellFormed() {
  static_assert(std::size(BC_UPC5ext_Parity) == 10);
  for (std::size_t C = 0; C < 10; ++C) {
    const std::uint8_t P = BC_UPC5ext_Parity[C];
    if ((P & 0x07) != 0 || std::popcount(P) != 2) return false;
    for (std::size_t E = C + 1; E < 10; ++E)
      if (BC_UPC5ext_Parity[E] == P) return false;
  }
  return true;
}
static_assert(ParityTableWellFormed(), "a malformed or repeated add-on parity pattern");

constexpr bool IsDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }

// A digit in the G code (low byte of BC_EAN_LEFT) or the L code (high byte).
void PaintDigit(TModuleRun& Run, char Digit, bool GCode) {
  const std::uint16_t Word = BC_EAN_LEFT[Digit - '0'];
  Run.Paint(static_cast<std::uint8_t>(GCode ? Word & 0xFF : Word >> 8), DigitModules);
}

}  // namespace

// The pair's value v picks the parities: the first digit is a G code when
// v mod 4 is 2 or 3, the second when v is odd. A single character gets one
// '0' in front and characters past the second are dropped. The pair is
// converted as the class library converts any decimal text (StrToInt), and
// vcl::EConvertError leaves the encoder after the start pattern, with the
// brush restored, when it is not a number. Drawing stops at a character that
// is not a digit; an empty text, "0" after padding, has no second character
// and so ends after the first digit and the delineator, as at a non-digit.
void BarcodeUPC2ext(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  std::string S = std::move(Text);
  if (S.size() < UPC2Length) S.insert(0, 1, '0');
  if (S.size() > UPC2Length) S.resize(UPC2Length);
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  Run.Paint(StartPattern, StartModules);
  const std::int32_t Value = vcl::StrToInt(S);
  // A pair whose first character is a digit converts to 0..99 or fails, so
  // the remainders below are never negative where a digit is drawn.
  if (!IsDigit(S[0])) return;
  PaintDigit(Run, S[0], Value % 4 == 2 || Value % 4 == 3);
  Run.Paint(Delineator, DelineatorModules);
  if (S.size() < UPC2Length || !IsDigit(S[1])) return;
  PaintDigit(Run, S[1], Value % 2 != 0);
}

// Pads to five digits in front, keeps the first five, and takes the parities
// from the check value: 3 x (digits 1, 3, 5) + 9 x (digits 2, 4), mod 10,
// each character counted as code - 48. A character below '0' can make that
// sum negative; the row then is the floored remainder (sum mod 10 + 10), the
// same choice UPC-E makes. Drawing stops at the first non-digit.
void BarcodeUPC5ext(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  std::string S = std::move(Text);
  if (S.size() < UPC5Length) S.insert(0, UPC5Length - S.size(), '0');
  S.resize(UPC5Length);
  int Sum = 0;
  for (std::size_t P = 0; P < UPC5Length; ++P)
    Sum += (static_cast<unsigned char>(S[P]) - 48) * (P % 2 == 0 ? 3 : 9);
  int Check = Sum % 10;
  if (Check < 0) Check += 10;
  const std::uint8_t Parity = BC_UPC5ext_Parity[Check];
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  Run.Paint(StartPattern, StartModules);
  for (std::size_t P = 0; P < UPC5Length; ++P) {
    if (!IsDigit(S[P])) return;
    PaintDigit(Run, S[P], (Parity >> (7 - P)) & 1u);
    if (P + 1 < UPC5Length) Run.Paint(Delineator, DelineatorModules);
  }
}

}  // namespace tolvane
