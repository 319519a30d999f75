// Code 128 (ISO/IEC 15417): the symbol character patterns, the choice of
// code sets A, B and C along the text, the modulo-103 check character, and
// the encoder that paints the symbol.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "BarcodeDef.h"
#include "EngineInternal.h"

namespace tolvane {

namespace {

// A symbol character's 11 modules sit in bits 15 (module 0) down to 5; the
// stop's 13 (with its final bar) in bits 15 down to 3.
constexpr int ModulesPerChar = 11;
constexpr int StopModules = 13;
constexpr int FirstModuleBit = 15;

// A table entry from its element widths (0 for a malformed one).
constexpr std::uint16_t Pattern(const char* Widths) { return WidthPattern(Widths, ModulesPerChar, StopModules); }

}  // namespace

// The 107 symbol characters of Code 128 as ISO/IEC 15417 lists their element
// widths (bar, space, bar, space, bar, space), by symbol value. Values 0..95
// are the data of sets A and B (and 0..99 the digit pairs of set C); 96..102
// FNC3, FNC2, Shift, Code C, Code B / FNC4, Code A / FNC4, FNC1; 103..105
// Start A, B and C; 106 the stop followed by its final two-module bar.
constexpr std::uint16_t BC_Code128[107] = {
    // 0..9
    Pattern("212222"), Pattern("222122"), Pattern("222221"), Pattern("121223"), Pattern("121322"),
    Pattern("131222"), Pattern("122213"), Pattern("122312"), Pattern("132212"), Pattern("221213"),
    // 10..19
    Pattern("221312"), Pattern("231212"), Pattern("112232"), Pattern("122132"), Pattern("122231"),
    Pattern("113222"), Pattern("123122"), Pattern("123221"), Pattern("223211"), Pattern("221132"),
    // 20..29
    Pattern("221231"), Pattern("213212"), Pattern("223112"), Pattern("312131"), Pattern("311222"),
    Pattern("321122"), Pattern("321221"), Pattern("312212"), Pattern("322112"), Pattern("322211"),
    // 30..39
    Pattern("212123"), Pattern("212321"), Pattern("232121"), Pattern("111323"), Pattern("131123"),
    Pattern("131321"), Pattern("112313"), Pattern("132113"), Pattern("132311"), Pattern("211313"),
    // 40..49
    Pattern("231113"), Pattern("231311"), Pattern("112133"), Pattern("112331"), Pattern("132131"),
    Pattern("113123"), Pattern("113321"), Pattern("133121"), Pattern("313121"), Pattern("211331"),
    // 50..59
    Pattern("231131"), Pattern("213113"), Pattern("213311"), Pattern("213131"), Pattern("311123"),
    Pattern("311321"), Pattern("331121"), Pattern("312113"), Pattern("312311"), Pattern("332111"),
    // 60..69
    Pattern("314111"), Pattern("221411"), Pattern("431111"), Pattern("111224"), Pattern("111422"),
    Pattern("121124"), Pattern("121421"), Pattern("141122"), Pattern("141221"), Pattern("112214"),
    // 70..79
    Pattern("112412"), Pattern("122114"), Pattern("122411"), Pattern("142112"), Pattern("142211"),
    Pattern("241211"), Pattern("221114"), Pattern("413111"), Pattern("241112"), Pattern("134111"),
    // 80..89
    Pattern("111242"), Pattern("121142"), Pattern("121241"), Pattern("114212"), Pattern("124112"),
    Pattern("124211"), Pattern("411212"), Pattern("421112"), Pattern("421211"), Pattern("212141"),
    // 90..99
    Pattern("214121"), Pattern("412121"), Pattern("111143"), Pattern("111341"), Pattern("131141"),
    Pattern("114113"), Pattern("114311"), Pattern("411113"), Pattern("411311"), Pattern("113141"),
    // 100..106
    Pattern("114131"), Pattern("311141"), Pattern("411131"), Pattern("211412"), Pattern("211214"),
    Pattern("211232"), Pattern("2331112"),
};

namespace {

constexpr int SymbolValues = 107;
static_assert(std::size(BC_Code128) == SymbolValues, "one entry for each symbol value 0..106");

// The fixed symbol values.
constexpr int ValueCodeC = 99;
constexpr int ValueCodeB = 100;
constexpr int ValueCodeA = 101;
constexpr int ValueFnc1 = 102;
constexpr int ValueStartA = 103;
constexpr int ValueStartB = 104;
constexpr int ValueStartC = 105;
constexpr int ValueStop = 106;

// Module k of an entry.
constexpr bool ModuleDark(std::uint16_t Pattern, int K) {
  return (Pattern >> (FirstModuleBit - K)) & 1u;
}

// Bars is the number of bars among the first Modules modules and BarModules
// the modules they cover; every other bit of the entry must be zero.
struct TShape {
  int Bars = 0, BarModules = 0;
  bool Clean = false;
};
constexpr TShape ShapeOf(std::uint16_t Pattern, int Modules) {
  TShape Shape;
  for (int K = 0; K < Modules; ++K) {
    if (!ModuleDark(Pattern, K)) continue;
    ++Shape.BarModules;
    if (K == 0 || !ModuleDark(Pattern, K - 1)) ++Shape.Bars;
  }
  Shape.Clean = (Pattern & ((1u << (FirstModuleBit + 1 - Modules)) - 1)) == 0;
  return Shape;
}

// Every character is 11 modules from a bar to a space in three bars (and so
// three spaces; Pattern has already held the widths to 1..4 and their total
// to 11), and its bars cover an even number of modules, the parity the
// symbology builds in. The stop is 13 modules from a bar to its final bar,
// four bars. No two entries alike.
constexpr bool TableWellFormed() {
  for (int V = 0; V < SymbolValues; ++V) {
    const std::uint16_t P = BC_Code128[V];
    const int Modules = V == ValueStop ? StopModules : ModulesPerChar;
    const TShape Shape = ShapeOf(P, Modules);
    if (P == 0 || !Shape.Clean || !ModuleDark(P, 0) || Shape.BarModules % 2 != 0) return false;
    if (V == ValueStop ? (!ModuleDark(P, Modules - 1) || Shape.Bars != 4)
                       : (ModuleDark(P, Modules - 1) || Shape.Bars != 3))
      return false;
    for (int W = V + 1; W < SymbolValues; ++W)
      if (BC_Code128[W] == P) return false;
  }
  return true;
}
static_assert(TableWellFormed(), "BC_Code128 holds a malformed or repeated pattern");

// Rows of the table as the standard draws them in modules.
static_assert(BC_Code128[0] == 0xD980 && BC_Code128[1] == 0xCD80 && BC_Code128[2] == 0xCCC0);
static_assert(BC_Code128[ValueCodeC] == 0xBBC0 && BC_Code128[ValueCodeB] == 0xBDC0 &&
              BC_Code128[ValueCodeA] == 0xEBC0 && BC_Code128[ValueFnc1] == 0xF5C0);
static_assert(BC_Code128[ValueStartA] == 0xD080 && BC_Code128[ValueStartB] == 0xD200 &&
              BC_Code128[ValueStartC] == 0xD380 && BC_Code128[ValueStop] == 0xC758);

// A symbol string holds each symbol character as the code value + 32.
constexpr int SymbolCodeOffset = 32;
constexpr char SymbolChar(int Value) { return static_cast<char>(Value + SymbolCodeOffset); }
constexpr int ValueOf(char Ch) { return static_cast<unsigned char>(Ch) - SymbolCodeOffset; }

// In set A a control character (0..31) has the value code + 64.
constexpr int SetAControlOffset = 64;
// Set A carries 32..95 as themselves; its values 64..95 are the controls, so
// the characters 96..127 have no set-A value.
constexpr unsigned char FirstNotInSetA = 96, LastNotInSetA = 127;
// In set A a character above this code makes the encoder switch to set B.
constexpr unsigned char LastStayInSetA = 63;
constexpr unsigned char FirstPrintable = 32;
// Set C is entered before a run of at least this many digits (an even run).
constexpr std::size_t MinCRun = 4;
constexpr int DigitPairBase = 10;
constexpr std::size_t None = std::string::npos;

bool IsDigit(unsigned char C) { return C >= '0' && C <= '9'; }
bool IsControl(unsigned char C) { return C < FirstPrintable; }
bool IsLower(unsigned char C) { return C >= 'a' && C <= 'z'; }
unsigned char CodeAt(const std::string& Text, std::size_t I) { return static_cast<unsigned char>(Text[I]); }

// The first position at or after From (0-based) holding a control character
// followed by a lower-case letter, or None.
std::size_t NextControlBeforeLower(const std::string& Text, std::size_t From) {
  for (std::size_t I = From; I + 1 < Text.size(); ++I)
    if (IsControl(CodeAt(Text, I)) && IsLower(CodeAt(Text, I + 1))) return I;
  return None;
}

// The start set of the part of Text from From on, as Get_128_StartCode gives
// it for that part: 'C' when it begins with four digits, else 'B'; but 'A'
// when it holds a control character that is not its last character and
// either opens the part or is followed by a lower-case letter.
// ControlBeforeLower is NextControlBeforeLower(Text, From), passed in so that
// the encoder, which asks again further on, scans the text only once.
char StartSetFrom(const std::string& Text, std::size_t From, std::size_t ControlBeforeLower) {
  const std::size_t N = Text.size();  // From is at most N
  if (From + 1 < N && IsControl(CodeAt(Text, From))) return 'A';
  if (ControlBeforeLower != None) return 'A';
  if (N - From < MinCRun) return 'B';
  for (std::size_t I = From; I < From + MinCRun; ++I)
    if (!IsDigit(CodeAt(Text, I))) return 'B';
  return 'C';
}

// The set a character is written in when Set was chosen for it, as the set
// it starts or the set switched to on leaving set C. A set that has no value
// for it gives way to the other of A and B, so that the symbol still carries
// the text: a character 96..127 (lower case and the like) in set A, which
// only a control character further on could choose, goes into set B; a
// control character in set B (a text, or a rest after digit pairs, that is a
// single control character) goes into set A. Everything else stays in Set.
char SetThatCarries(char Set, unsigned char C) {
  if (Set == 'A' && C >= FirstNotInSetA && C <= LastNotInSetA) return 'B';
  if (Set == 'B' && IsControl(C)) return 'A';
  return Set;
}

// The length of the run of digits that starts at I (0 when I is past the end).
std::size_t DigitRun(const std::string& Text, std::size_t I) {
  std::size_t End = I;
  while (End < Text.size() && IsDigit(CodeAt(Text, End))) ++End;
  return End > I ? End - I : 0;
}

// Writes the character at P (0-based) in Set: in set C the digit pair at P
// and P + 1 as one value, in set A a control character as code + 64, any
// other character as itself (the codes 128..138 thus stand for the values
// 96..106, and anything else outside 32..138 for no value at all).
void EmitAt(std::string& Symbol, const std::string& Text, std::size_t P, char Set) {
  const unsigned char C = CodeAt(Text, P);
  if (Set == 'C') {
    // Set C is only ever entered before a whole pair of digits, so P + 1 is
    // a digit in the text; the check keeps an index error from reading on.
    const unsigned char Next = P + 1 < Text.size() ? CodeAt(Text, P + 1) : '0';
    Symbol.push_back(SymbolChar(DigitPairBase * (C - '0') + (Next - '0')));
  } else if (Set == 'A' && IsControl(C)) {
    Symbol.push_back(SymbolChar(C + SetAControlOffset));
  } else {
    Symbol.push_back(static_cast<char>(C));
  }
}


}  // namespace

// 'C' for a text that opens with four digits, else 'B'; 'A' overrides both
// when a control character that is not the last character opens the text or
// is followed by a lower-case letter.
char Get_128_StartCode(std::string Text) {
  return StartSetFrom(Text, 0, NextControlBeforeLower(Text, 0));
}

// The symbol string: the start character of the text's start set, then each
// character in the set current at it, switching sets as the text goes on,
// then the check character and the stop. After each character the first rule
// that applies decides what comes next:
//  - in set A or B, when the characters after it open with an even run of at
//    least four digits: Code C, and those digits follow in pairs;
//  - in set C, when the pair is followed by a non-digit: Code A or Code B for
//    the start set of the rest of the text;
//  - in set C, when a single digit is left before a non-digit or the end:
//    Code B, and the digit follows in set B;
//  - in set B before a control character: Code A;
//  - in set A before a character above 63: Code B;
//  - otherwise the set stays.
std::string Optimize_128_bc(std::string Text) {
  const std::size_t N = Text.size();
  std::size_t ControlBeforeLower = NextControlBeforeLower(Text, 0);
  char Set = StartSetFrom(Text, 0, ControlBeforeLower);
  if (N > 0) Set = SetThatCarries(Set, CodeAt(Text, 0));
  std::string Symbol(1, SymbolChar(Set == 'A' ? ValueStartA : Set == 'B' ? ValueStartB : ValueStartC));
  std::size_t P = 0;
  while (P < N) {
    EmitAt(Symbol, Text, P, Set);
    const bool HasNext = P + 1 < N;
    if (Set != 'C') {
      const std::size_t Run = DigitRun(Text, P + 1);
      if (Run >= MinCRun && Run % 2 == 0) {
        Symbol.push_back(SymbolChar(ValueCodeC));
        Set = 'C';
      } else if (Set == 'B' && HasNext && IsControl(CodeAt(Text, P + 1))) {
        Symbol.push_back(SymbolChar(ValueCodeA));
        Set = 'A';
      } else if (Set == 'A' && HasNext && CodeAt(Text, P + 1) > LastStayInSetA) {
        Symbol.push_back(SymbolChar(ValueCodeB));
        Set = 'B';
      }
      P += 1;
      continue;
    }
    const std::size_t After = P + 2;  // the character after the pair
    if (After < N && !IsDigit(CodeAt(Text, After))) {
      if (ControlBeforeLower != None && ControlBeforeLower < After)
        ControlBeforeLower = NextControlBeforeLower(Text, After);
      Set = SetThatCarries(StartSetFrom(Text, After, ControlBeforeLower), CodeAt(Text, After));
      Symbol.push_back(SymbolChar(Set == 'A' ? ValueCodeA : ValueCodeB));
    } else if (After < N && (After + 1 == N || !IsDigit(CodeAt(Text, After + 1)))) {
      Symbol.push_back(SymbolChar(ValueCodeB));
      Set = 'B';
    }
    P = After;
  }
  Symbol.push_back(Code128_Check_Digit(Symbol));
  Symbol.push_back(SymbolChar(ValueStop));
  return Symbol;
}

// The start character weighted 1 and the n-th character after it weighted n,
// summed modulo 103 step by step; the result as a symbol-string character.
// The first value is reduced too, so a lone start character (the symbol
// string of an empty text drawn directly) gives a real check value (Start B
// 104 gives 1) rather than a start code, and an empty string gives 0. The
// remainder is kept in 0..102 even for codes below 32, which give negative
// values (only a direct call can pass them; the symbol strings the encoder
// builds never hold them), and the weight is taken modulo 103 so no length
// overflows.
char Code128_Check_Digit(std::string Text) {
  constexpr std::int64_t Modulus = 103;
  if (Text.empty()) return SymbolChar(0);
  std::int64_t Sum = (ValueOf(Text[0]) % Modulus + Modulus) % Modulus;
  for (std::size_t K = 1; K < Text.size(); ++K) {
    const auto Weight = static_cast<std::int64_t>(K % Modulus);
    Sum = ((Sum + ValueOf(Text[K]) * Weight) % Modulus + Modulus) % Modulus;
  }
  return static_cast<char>(Sum + SymbolCodeOffset);
}

// Paints the symbol string of Text from X on: 11 modules a symbol character,
// 13 for the last one, the stop with its final bar. A character without a
// symbol value (outside 32..138 in the string, only possible for unfiltered
// text) ends the drawing where it stands.
void BarcodeCode128(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  const std::string Symbol = Optimize_128_bc(std::move(Text));
  for (std::size_t I = 0; I < Symbol.size(); ++I) {
    const int Value = ValueOf(Symbol[I]);
    if (Value < 0 || Value >= SymbolValues) return;
    const int Modules = I + 1 == Symbol.size() ? StopModules : ModulesPerChar;
    Run.PaintWord(BC_Code128[Value], Modules);
  }
}

}  // namespace tolvane
