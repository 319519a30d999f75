// UPC-A, EAN-13 and EAN-8: the digit pattern tables, the modulo-10 check
// digit all UPC/EAN symbols share, and the three encoders.
#include <bit>
#include <cstddef>
#include <iterator>

#include "BarcodeDef.h"
#include "EngineInternal.h"

namespace tolvane {

// The tables are exported as little-endian 16-bit words one after another;
// uint16_t arrays have that layout only on a little-endian machine, so a port
// to another byte order must store them as bytes.
static_assert(std::endian::native == std::endian::little, "retail tables are little-endian words");

// The digit patterns are those of the UPC/EAN standard (ISO/IEC 15420): the
// L code (number set A, odd parity), the G code (number set B, even parity)
// and the R code (number set C). A byte holds one pattern, module i in bit
// 7 - i, dark = 1; a 7-module digit leaves bit 0 clear.

// By code - 47: '/' the outer guard (3 modules), the digits with the L code
// for the left half in the high byte and the R code for the right half in
// the low byte, ':' the centre guard (5 modules).
constexpr std::uint16_t BC_UPCA[12] = {
    // 0..3:   /       0       1       2
    0xA0A0, 0x1AE4, 0x32CC, 0x26D8,
    // 4..7:   3       4       5       6
    0x7A84, 0x46B8, 0x629C, 0x5EA0,
    // 8..11:  7       8       9       :
    0x7688, 0x6E90, 0x16E8, 0x5050,
};

// By digit: the L code in the high byte, the G code in the low byte.
constexpr std::uint16_t BC_EAN_LEFT[10] = {
    // 0..4
    0x1A4E, 0x3266, 0x2636, 0x7A42, 0x463A,
    // 5..9
    0x6272, 0x5E0A, 0x7622, 0x6E12, 0x162E,
};

// By digit: the R code in the high byte; in the low byte's bits 7..2 the
// parities of the six left-half digits that the digit selects as the leading
// digit of an EAN-13 number (bit 7 the first digit, 1 = G code).
constexpr std::uint16_t BC_EAN_RIGHT[10] = {
    // 0..4:   LLLLLL  LLGLGG  LLGGLG  LLGGGL  LGLLGG
    0xE400, 0xCC2C, 0xD834, 0x8438, 0xB84C,
    // 5..9:   LGGLLG  LGGGLL  LGLGLG  LGLGGL  LGGLGL
    0x9C64, 0xA070, 0x8854, 0x9058, 0xE868,
};

namespace {

constexpr int DigitModules = 7;
constexpr int OuterGuardModules = 3;
constexpr int CentreGuardModules = 5;
// BC_UPCA starts at '/'.
constexpr int FirstUPCACode = '/';
constexpr int UPCAOuterGuard = 0;
constexpr int UPCACentreGuard = 11;
// The guards as module patterns (module 0 in bit 7).
constexpr std::uint8_t OuterGuard = 0xA0;   // 101
constexpr std::uint8_t CentreGuard = 0x50;  // 01010
// Data lengths without the check digit.
constexpr std::size_t UPCADataLength = 11;
constexpr std::size_t EAN13DataLength = 12;
constexpr std::size_t EAN8DataLength = 7;
// UPC-A's framed text: guard, six digits, centre guard, six digits, guard.
// Positions up to the centre guard are read from the high byte.
constexpr std::size_t HalfDigits = 6;
constexpr std::size_t LastHighBytePosition = HalfDigits + 2;
constexpr std::size_t EAN8HalfDigits = 4;

static_assert(std::size(BC_UPCA) == 12 && std::size(BC_EAN_LEFT) == 10 && std::size(BC_EAN_RIGHT) == 10);
static_assert(UPCACentreGuard == ':' - FirstUPCACode);

constexpr std::uint8_t High(std::uint16_t Word) { return static_cast<std::uint8_t>(Word >> 8); }
constexpr std::uint8_t Low(std::uint16_t Word) { return static_cast<std::uint8_t>(Word & 0xFF); }

// The seven module bits of a digit pattern.
constexpr std::uint8_t DigitMask = 0xFE;

constexpr int DarkModules(std::uint8_t Pattern) { return std::popcount(Pattern); }
// Runs of dark modules in a pattern.
constexpr int Bars(std::uint8_t Pattern) {
  return std::popcount(static_cast<std::uint8_t>(Pattern & ~(Pattern >> 1)));
}
// The pattern read right to left.
constexpr std::uint8_t Reversed(std::uint8_t Pattern, int Modules) {
  std::uint8_t Result = 0;
  for (int I = 0; I < Modules; ++I)
    if (Pattern & (0x80 >> I)) Result = static_cast<std::uint8_t>(Result | (0x80 >> (Modules - 1 - I)));
  return Result;
}

// A UPC/EAN digit pattern: 7 modules, two bars and two spaces. The L codes
// have odd parity and start light; R is L's complement and G is R reversed;
// all thirty patterns differ, so a reader can tell digit and set apart.
constexpr bool DigitTablesWellFormed() {
  std::uint8_t All[30] = {};
  for (int D = 0; D < 10; ++D) {
    const std::uint8_t L = High(BC_EAN_LEFT[D]), G = Low(BC_EAN_LEFT[D]), R = High(BC_EAN_RIGHT[D]);
    if ((L & ~DigitMask) || (G & ~DigitMask) || (R & ~DigitMask)) return false;
    if (DarkModules(L) % 2 != 1 || (L & 0x80) || (L & 0x02) == 0 || Bars(L) != 2) return false;
    if (R != (~L & DigitMask) || G != Reversed(R, DigitModules)) return false;
    if (Bars(G) != 2 || Bars(R) != 2) return false;
    // UPC-A's digit entries are the same L and R codes.
    if (High(BC_UPCA[D + 1]) != L || Low(BC_UPCA[D + 1]) != R) return false;
    All[3 * D] = L;
    All[3 * D + 1] = G;
    All[3 * D + 2] = R;
  }
  for (int I = 0; I < 30; ++I)
    for (int J = I + 1; J < 30; ++J)
      if (All[I] == All[J]) return false;
  return true;
}
static_assert(DigitTablesWellFormed(), "a malformed or repeated UPC/EAN digit pattern");
static_assert(BC_UPCA[UPCAOuterGuard] == (OuterGuard << 8 | OuterGuard));
static_assert(BC_UPCA[UPCACentreGuard] == (CentreGuard << 8 | CentreGuard));

// The EAN-13 parity patterns sit in bits 7..2 with bits 1..0 clear. The first
// digit is always an L code and, past the leading 0 (all L, the UPC-A case),
// each pattern has three G codes; no two leading digits share a pattern.
constexpr bool ParityPatternsWellFormed() {
  for (int D = 0; D < 10; ++D) {
    const std::uint8_t P = Low(BC_EAN_RIGHT[D]);
    if ((P & 0x83) != 0 || DarkModules(P) != (D == 0 ? 0 : 3)) return false;
    for (int E = D + 1; E < 10; ++E)
      if (Low(BC_EAN_RIGHT[E]) == P) return false;
  }
  return true;
}
static_assert(ParityPatternsWellFormed(), "a malformed or repeated EAN-13 parity pattern");

constexpr bool IsDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }
constexpr int DigitValue(char Ch) { return Ch - '0'; }

// Puts '0' in front of Text until it has Length characters; longer stays.
std::string PadFront(std::string Text, std::size_t Length) {
  if (Text.size() < Length) Text.insert(0, Length - Text.size(), '0');
  return Text;
}


// EAN-13 and EAN-8 right halves: the R code of each digit of S[First..Last)
// until one is not a digit. False when drawing has to stop.
bool PaintRightHalf(TModuleRun& Run, const std::string& S, std::size_t First, std::size_t Last) {
  for (std::size_t P = First; P < Last; ++P) {
    if (!IsDigit(S[P])) return false;
    Run.Paint(High(BC_EAN_RIGHT[DigitValue(S[P])]), DigitModules);
  }
  return true;
}

}  // namespace

// From the last character to the first, weights 3, 1, 3, ...; each character
// counts by its code - 48, digit or not. The sum is kept in 64 bits, so no
// text that fits in memory can overflow it. The remainder keeps the sum's
// sign, so a character below '0' can give a result above '9' (';' .. 'C').
char Mod10Check(std::string Text) {
  std::int64_t Sum = 0;
  std::int64_t Weight = 3;
  for (auto It = Text.rbegin(); It != Text.rend(); ++It) {
    Sum += (static_cast<unsigned char>(*It) - 48) * Weight;
    Weight = 4 - Weight;
  }
  std::int64_t Check = 10 - Sum % 10;
  if (Check == 10) Check = 0;
  return static_cast<char>(48 + Check);
}

// Pads to 11 digits, appends the check digit and draws '/' S[1..6] ':'
// S[7..12] '/' from BC_UPCA: high bytes up to the centre guard, low bytes
// after it. Characters past the twelfth are not drawn, so a twelfth character
// in Text stands in the check position. A '/' or ':' in the data is drawn as
// its guard; any other character outside '/'..':' stops the drawing.
void BarcodeUPCA(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                 std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  std::string S = PadFront(std::move(Text), UPCADataLength);
  S += Mod10Check(S);
  const std::string Framed = '/' + S.substr(0, HalfDigits) + ':' + S.substr(HalfDigits, HalfDigits) + '/';
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  for (std::size_t P = 1; P <= Framed.size(); ++P) {
    const char Ch = Framed[P - 1];
    const int Index = static_cast<unsigned char>(Ch) - FirstUPCACode;
    if (Index < 0 || Index >= static_cast<int>(std::size(BC_UPCA))) return;
    const int Modules = Ch == '/' ? OuterGuardModules : Ch == ':' ? CentreGuardModules : DigitModules;
    const std::uint16_t Word = BC_UPCA[Index];
    Run.Paint(P <= LastHighBytePosition ? High(Word) : Low(Word), Modules);
  }
}

// Pads to 12 digits and appends the check digit; the leading digit is not
// drawn but picks the L/G parities of the left half. Stops at the first
// character that is not a digit, before anything when it is the leading one.
void BarcodeEAN13(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                  std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  std::string S = PadFront(std::move(Text), EAN13DataLength);
  S += Mod10Check(S);
  const char Leading = S[0];
  if (!IsDigit(Leading)) return;
  const std::uint16_t Parity = BC_EAN_RIGHT[DigitValue(Leading)];
  // The leading digit stays at S[0]: the twelve digits drawn are S[1..12].
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  Run.Paint(OuterGuard, OuterGuardModules);
  for (std::size_t P = 1; P <= HalfDigits; ++P) {
    const char Ch = S[P];
    if (!IsDigit(Ch)) return;
    const std::uint16_t Word = BC_EAN_LEFT[DigitValue(Ch)];
    const bool GCode = (Parity >> (8 - P)) & 1u;
    Run.Paint(GCode ? Low(Word) : High(Word), DigitModules);
  }
  Run.Paint(CentreGuard, CentreGuardModules);
  if (!PaintRightHalf(Run, S, HalfDigits + 1, 2 * HalfDigits + 1)) return;
  Run.Paint(OuterGuard, OuterGuardModules);
}

// Pads to 7 digits and appends the check digit: four L codes, the centre
// guard, four R codes. Stops at the first character that is not a digit.
void BarcodeEAN8(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                 std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  std::string S = PadFront(std::move(Text), EAN8DataLength);
  S += Mod10Check(S);
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  Run.Paint(OuterGuard, OuterGuardModules);
  for (std::size_t P = 0; P < EAN8HalfDigits; ++P) {
    if (!IsDigit(S[P])) return;
    Run.Paint(High(BC_EAN_LEFT[DigitValue(S[P])]), DigitModules);
  }
  Run.Paint(CentreGuard, CentreGuardModules);
  if (!PaintRightHalf(Run, S, EAN8HalfDigits, 2 * EAN8HalfDigits)) return;
  Run.Paint(OuterGuard, OuterGuardModules);
}

}  // namespace tolvane
