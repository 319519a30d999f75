// UPC-E, number system 0: the zero-suppressed six-digit form of a UPC-A
// number, its encoder, and the conversions between the two forms.
#include <bit>
#include <cstddef>
#include <iterator>

#include "BarcodeDef.h"
#include "EngineInternal.h"

namespace tolvane {

// Exported as little-endian 16-bit words, one after another: the layout of a
// uint16_t array only on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "UPC-E tables are little-endian words");

// The left-hand digit patterns of the UPC/EAN standard (ISO/IEC 15420), the
// same values as BC_EAN_LEFT, exported separately: by digit, the L code (odd
// parity) in the high byte and the G code (even parity) in the low byte,
// module i in bit 7 - i, dark = 1.
constexpr std::uint16_t BC_UPCE[10] = {
    // 0..4
    0x1A4E, 0x3266, 0x2636, 0x7A42, 0x463A,
    // 5..9
    0x6272, 0x5E0A, 0x7622, 0x6E12, 0x162E,
};

// By check digit, the parities of the six digits (ISO/IEC 15420): number
// system 0 in bits 7..2 of the high byte, number system 1 (its complement) in
// bits 7..2 of the low byte; bit 7 is the first digit and 1 the G code.
constexpr std::uint16_t BC_UPCE_Parity[10] = {
    // 0..4:   GGGLLL  GGLGLL  GGLLGL  GGLLLG  GLGGLL
    0xE01C, 0xD02C, 0xC834, 0xC438, 0xB04C,
    // 5..9:   GLLGGL  GLLLGG  GLGLGL  GLGLLG  GLLGLG
    0x9864, 0x8C70, 0xA854, 0xA458, 0x9468,
};

namespace {

constexpr int DigitModules = 7;
constexpr std::uint8_t StartGuard = 0xA0;  // 101
constexpr int StartGuardModules = 3;
constexpr std::uint8_t EndGuard = 0x54;    // 010101
constexpr int EndGuardModules = 6;
constexpr std::size_t DataLength = 6;
// Position p of the text takes its parity from bit 16 - p of the word: bits
// 15..10 for the six digits; positions past 16 have no bit and get the L code.
constexpr std::size_t LastParityPosition = 16;

static_assert(std::size(BC_UPCE) == 10 && std::size(BC_UPCE_Parity) == 10);

constexpr std::uint8_t High(std::uint16_t Word) { return static_cast<std::uint8_t>(Word >> 8); }
constexpr std::uint8_t Low(std::uint16_t Word) { return static_cast<std::uint8_t>(Word & 0xFF); }

// The L code has odd parity, starts light and ends dark, with two bars; the
// G code is the L code complemented and read right to left; no two of the
// twenty patterns are alike.
constexpr bool DigitTableWellFormed() {
  for (int D = 0; D < 10; ++D) {
    const std::uint8_t L = High(BC_UPCE[D]), G = Low(BC_UPCE[D]);
    if ((L & 0x81) != 0 || (L & 0x02) == 0 || std::popcount(L) % 2 != 1) return false;
    if (std::popcount(static_cast<std::uint8_t>(L & ~(L >> 1))) != 2) return false;
    std::uint8_t Expected = 0;
    for (int I = 0; I < DigitModules; ++I)
      if ((L & (0x80 >> I)) == 0) Expected = static_cast<std::uint8_t>(Expected | (0x80 >> (DigitModules - 1 - I)));
    if (G != Expected) return false;
  }
  for (int I = 0; I < 20; ++I)
    for (int J = I + 1; J < 20; ++J) {
      const std::uint16_t A = BC_UPCE[I / 2], B = BC_UPCE[J / 2];
      if ((I % 2 ? Low(A) : High(A)) == (J % 2 ? Low(B) : High(B))) return false;
    }
  return true;
}
static_assert(DigitTableWellFormed(), "a malformed or repeated UPC-E digit pattern");

// Three G codes in six digits, bits 1..0 clear, the low byte the high byte's
// complement, and a different pattern for every check digit.
constexpr bool ParityTableWellFormed() {
  for (int C = 0; C < 10; ++C) {
    const std::uint8_t NS0 = High(BC_UPCE_Parity[C]), NS1 = Low(BC_UPCE_Parity[C]);
    if ((NS0 & 0x03) != 0 || std::popcount(NS0) != 3) return false;
    if (NS1 != (~NS0 & 0xFC)) return false;
    for (int E = C + 1; E < 10; ++E)
      if (High(BC_UPCE_Parity[E]) == NS0) return false;
  }
  return true;
}
static_assert(ParityTableWellFormed(), "a malformed or repeated UPC-E parity pattern");

constexpr bool IsDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }

// Text[First..Last], counted from 1 as in the UPC-A and UPC-E number forms.
std::string Chars(const std::string& Text, std::size_t First, std::size_t Last) {
  return Text.substr(First - 1, Last - First + 1);
}

// The parity word for the check value of S. A character below '0' among the
// first five can make Mod10Check's remainder negative and the check value 11
// to 19; the row taken then is that value mod 10, the check digit the same
// sum gives with a floored remainder. Drawing stops at that character anyway.
std::uint16_t ParityFor(const std::string& S) {
  int Check = Mod10Check(UPCE_Expand(S)) - '0';
  if (Check < 0 || Check > 9) Check = ((Check % 10) + 10) % 10;
  return BC_UPCE_Parity[Check];
}


}  // namespace

// Six UPC-E digits to the eleven-digit UPC-A number (number system 0) by the
// sixth digit, which tells where the suppressed zeros go; E[1..5] are copied
// as they are. Empty for a text of fewer than six characters or a sixth
// character that is not a digit.
std::string UPCE_Expand(std::string Text) {
  if (Text.size() < DataLength) return {};
  const char K = Text[5];
  switch (K) {
    case '0':
    case '1':
    case '2':
      return "0" + Chars(Text, 1, 2) + K + "0000" + Chars(Text, 3, 5);
    case '3':
      return "0" + Chars(Text, 1, 3) + "00000" + Chars(Text, 4, 5);
    case '4':
      return "0" + Chars(Text, 1, 4) + "00000" + Chars(Text, 5, 5);
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      return "0" + Chars(Text, 1, 5) + "0000" + K;
    default:
      return {};
  }
}

// An eleven-digit UPC-A number to its six UPC-E digits, trying the zero
// suppressions in order; the number system A[1] and a twelfth character are
// not looked at. Empty when the text is shorter or no suppression fits.
std::string UPCA_to_UPCE(std::string Text) {
  if (Text.size() < 11) return {};
  const char A4 = Text[3], A11 = Text[10];
  if (Chars(Text, 5, 8) == "0000" && A4 >= '0' && A4 <= '2') return Chars(Text, 2, 3) + Chars(Text, 9, 11) + A4;
  if (Chars(Text, 5, 9) == "00000") return Chars(Text, 2, 4) + Chars(Text, 10, 11) + "3";
  if (Chars(Text, 6, 10) == "00000") return Chars(Text, 2, 5) + A11 + "4";
  if (Chars(Text, 7, 10) == "0000" && A11 >= '5' && A11 <= '9') return Chars(Text, 2, 6) + A11;
  return {};
}

// Pads to six digits and draws the start guard, each character of the text
// as an L or G code by the parity pattern of the check digit of its
// expansion, and the end guard. A longer text is drawn whole, position p
// taking bit 16 - p of the same word (L code past bit 0); only the first six
// characters enter the check digit. Stops at the first non-digit.
void BarcodeUPCE(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                 std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  std::string S = std::move(Text);
  if (S.size() < DataLength) S.insert(0, DataLength - S.size(), '0');
  const std::uint16_t Parity = ParityFor(S);
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  Run.Paint(StartGuard, StartGuardModules);
  for (std::size_t P = 1; P <= S.size(); ++P) {
    const char Ch = S[P - 1];
    if (!IsDigit(Ch)) return;
    const bool GCode = P <= LastParityPosition && ((Parity >> (LastParityPosition - P)) & 1u);
    const std::uint16_t Word = BC_UPCE[Ch - '0'];
    Run.Paint(GCode ? Low(Word) : High(Word), DigitModules);
  }
  Run.Paint(EndGuard, EndGuardModules);
}

}  // namespace tolvane
