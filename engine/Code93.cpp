// Code 93, full ASCII: the symbol character patterns, the map from ASCII to
// symbol values, the two modulo-47 check characters, and the encoder.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "BarcodeDef.h"
#include "EngineInternal.h"

namespace tolvane {

namespace {

// A symbol character's 9 modules sit in bits 15 (module 0) down to 7; the
// stop with its termination bar takes 10, down to bit 6.
constexpr int ModulesPerChar = 9;
constexpr int StopModules = 10;
constexpr int FirstModuleBit = 15;

// A table entry from its element widths (0 for a malformed one).
constexpr std::uint16_t Pattern(const char* Widths) { return WidthPattern(Widths, ModulesPerChar, StopModules); }

}  // namespace

// The Code 93 character set by symbol value, as element widths (bar, space,
// bar, space, bar, space): 0..9 the digits, 10..35 'A'..'Z', 36..42
// '-' '.' space '$' '/' '+' '%', 43..46 the shift characters ($) (%) (/) (+),
// 47 the start/stop character, 48 the stop followed by the termination bar.
constexpr std::uint16_t BC_Code93[49] = {
    // 0..9
    Pattern("131112"), Pattern("111213"), Pattern("111312"), Pattern("111411"), Pattern("121113"),
    Pattern("121212"), Pattern("121311"), Pattern("111114"), Pattern("131211"), Pattern("141111"),
    // 10..19: A..J
    Pattern("211113"), Pattern("211212"), Pattern("211311"), Pattern("221112"), Pattern("221211"),
    Pattern("231111"), Pattern("112113"), Pattern("112212"), Pattern("112311"), Pattern("122112"),
    // 20..29: K..T
    Pattern("132111"), Pattern("111123"), Pattern("111222"), Pattern("111321"), Pattern("121122"),
    Pattern("131121"), Pattern("212112"), Pattern("212211"), Pattern("211122"), Pattern("211221"),
    // 30..39: U..Z, '-', '.', space, '$'
    Pattern("221121"), Pattern("222111"), Pattern("112122"), Pattern("112221"), Pattern("122121"),
    Pattern("123111"), Pattern("121131"), Pattern("311112"), Pattern("311211"), Pattern("321111"),
    // 40..46: '/', '+', '%', ($), (%), (/), (+)
    Pattern("112131"), Pattern("113121"), Pattern("211131"), Pattern("121221"), Pattern("312111"),
    Pattern("311121"), Pattern("122211"),
    // 47: start/stop; 48: stop and termination bar
    Pattern("111141"), Pattern("1111411"),
};

// Full ASCII by character code: high byte the first symbol value, low byte
// the second, or 255 when the character is one symbol character. The digits,
// the capitals, space and - . $ / + % stand for themselves; every other
// character is a shift character followed by a letter.
constexpr std::uint16_t BC_Code93_Reference[128] = {
    // 0..7: NUL SOH STX ETX EOT ENQ ACK BEL
    0x2C1E, 0x2B0A, 0x2B0B, 0x2B0C, 0x2B0D, 0x2B0E, 0x2B0F, 0x2B10,
    // 8..15: BS HT LF VT FF CR SO SI
    0x2B11, 0x2B12, 0x2B13, 0x2B14, 0x2B15, 0x2B16, 0x2B17, 0x2B18,
    // 16..23: DLE DC1 DC2 DC3 DC4 NAK SYN ETB
    0x2B19, 0x2B1A, 0x2B1B, 0x2B1C, 0x2B1D, 0x2B1E, 0x2B1F, 0x2B20,
    // 24..31: CAN EM SUB ESC FS GS RS US
    0x2B21, 0x2B22, 0x2B23, 0x2C0A, 0x2C0B, 0x2C0C, 0x2C0D, 0x2C0E,
    // 32..39: space ! " # $ % & apostrophe
    0x26FF, 0x2D0A, 0x2D0B, 0x2D0C, 0x27FF, 0x2AFF, 0x2D0F, 0x2D10,
    // 40..47: ( ) * + , - . /
    0x2D11, 0x2D12, 0x2D13, 0x29FF, 0x2D15, 0x24FF, 0x25FF, 0x28FF,
    // 48..55: 0..7
    0x00FF, 0x01FF, 0x02FF, 0x03FF, 0x04FF, 0x05FF, 0x06FF, 0x07FF,
    // 56..63: 8 9 : ; < = > ?
    0x08FF, 0x09FF, 0x2D23, 0x2C0F, 0x2C10, 0x2C11, 0x2C12, 0x2C13,
    // 64..71: at-sign A..G
    0x2C1F, 0x0AFF, 0x0BFF, 0x0CFF, 0x0DFF, 0x0EFF, 0x0FFF, 0x10FF,
    // 72..79: H..O
    0x11FF, 0x12FF, 0x13FF, 0x14FF, 0x15FF, 0x16FF, 0x17FF, 0x18FF,
    // 80..87: P..W
    0x19FF, 0x1AFF, 0x1BFF, 0x1CFF, 0x1DFF, 0x1EFF, 0x1FFF, 0x20FF,
    // 88..95: X Y Z [ backslash ] ^ _
    0x21FF, 0x22FF, 0x23FF, 0x2C14, 0x2C15, 0x2C16, 0x2C17, 0x2C18,
    // 96..103: ` a..g
    0x2C20, 0x2E0A, 0x2E0B, 0x2E0C, 0x2E0D, 0x2E0E, 0x2E0F, 0x2E10,
    // 104..111: h..o
    0x2E11, 0x2E12, 0x2E13, 0x2E14, 0x2E15, 0x2E16, 0x2E17, 0x2E18,
    // 112..119: p..w
    0x2E19, 0x2E1A, 0x2E1B, 0x2E1C, 0x2E1D, 0x2E1E, 0x2E1F, 0x2E20,
    // 120..127: x y z { vertical-bar } ~ DEL
    0x2E21, 0x2E22, 0x2E23, 0x2C19, 0x2C1A, 0x2C1B, 0x2C1C, 0x2C1D,
};

namespace {

constexpr int CheckedValues = 47;  // the values 0..46 the checks work in
constexpr int StartStop = 47;
constexpr int StopAndBar = 48;
constexpr int FirstShift = 43;     // ($); (%) (/) (+) follow
constexpr int Modulus = 47;
constexpr std::uint16_t NoSecond = 0xFF;
constexpr unsigned ReferenceSize = 128;

static_assert(std::size(BC_Code93) == 49, "values 0..46, start/stop, stop with bar");
static_assert(std::size(BC_Code93_Reference) == ReferenceSize, "one entry for each code 0..127");

// Module k of an entry.
constexpr bool ModuleDark(std::uint16_t Pattern, int K) {
  return (Pattern >> (FirstModuleBit - K)) & 1u;
}

// The number of bars among the first Modules modules of an entry, or -1 when
// a bit below them is set.
constexpr int BarsOf(std::uint16_t Pattern, int Modules) {
  if ((Pattern & ((1u << (FirstModuleBit + 1 - Modules)) - 1)) != 0) return -1;
  int Bars = 0;
  for (int K = 0; K < Modules; ++K)
    if (ModuleDark(Pattern, K) && (K == 0 || !ModuleDark(Pattern, K - 1))) ++Bars;
  return Bars;
}

// Every character is 9 modules from a bar to a space in three bars and so
// three spaces (Pattern has held the widths to 1..4 and their total to 9);
// the stop with its bar is 10 modules from a bar to a bar, four bars, and
// begins with the start/stop character. No two characters alike.
constexpr bool PatternsWellFormed() {
  for (int V = 0; V <= StartStop; ++V) {
    const std::uint16_t P = BC_Code93[V];
    if (P == 0 || !ModuleDark(P, 0) || ModuleDark(P, ModulesPerChar - 1)) return false;
    if (BarsOf(P, ModulesPerChar) != 3) return false;
    for (int W = V + 1; W <= StartStop; ++W)
      if (BC_Code93[W] == P) return false;
  }
  const std::uint16_t Stop = BC_Code93[StopAndBar];
  return BarsOf(Stop, StopModules) == 4 && ModuleDark(Stop, StopModules - 1) &&
         (Stop & 0xFF80u) == BC_Code93[StartStop];
}
static_assert(PatternsWellFormed(), "BC_Code93 holds a malformed or repeated pattern");

// Rows of the character set as it is published in modules.
static_assert(BC_Code93[0] == 0x8A00 && BC_Code93[1] == 0xA400 && BC_Code93[10] == 0xD400 &&
              BC_Code93[35] == 0x9D00 && BC_Code93[38] == 0xE900);
static_assert(BC_Code93[43] == 0x9300 && BC_Code93[44] == 0xED00 && BC_Code93[45] == 0xEB00 &&
              BC_Code93[46] == 0x9900);
static_assert(BC_Code93[StartStop] == 0xAF00 && BC_Code93[StopAndBar] == 0xAF40);

// The characters the values 0..42 stand for on their own.
constexpr char PlainCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
static_assert(std::size(PlainCharacters) == FirstShift + 1);

// A character is either the one plain symbol character that stands for it,
// or a shift character and a letter; no two characters share a sequence, so
// a reader can always tell them apart.
constexpr bool ReferenceWellFormed() {
  for (unsigned C = 0; C < ReferenceSize; ++C) {
    const int First = BC_Code93_Reference[C] >> 8, Second = BC_Code93_Reference[C] & 0xFF;
    if (First < FirstShift) {
      if (Second != NoSecond || static_cast<unsigned char>(PlainCharacters[First]) != C) return false;
    } else if (First >= CheckedValues || Second < 10 || Second > 35) {
      return false;
    }
    for (unsigned D = C + 1; D < ReferenceSize; ++D)
      if (BC_Code93_Reference[D] == BC_Code93_Reference[C]) return false;
  }
  return true;
}
static_assert(ReferenceWellFormed(), "BC_Code93_Reference maps a character wrongly or twice");
static_assert(BC_Code93_Reference[0] == 0x2C1E && BC_Code93_Reference[97] == 0x2E0A &&
              BC_Code93_Reference[48] == 0x00FF && BC_Code93_Reference[32] == 0x26FF);  // NUL, a, 0, space

// The second value of a reference entry, when it has one.
constexpr bool HasSecond(std::uint16_t Entry) { return (Entry & 0xFF) < CheckedValues; }

// Calls Visit with the symbol values of Text from the last to the first.
// A character above 127 has no Code 93 encoding and so no value: it is
// skipped, and the values around it keep their places as if it were absent
// (the encoder never computes a check over such a text, it stops before it).
template <class TVisit>
void ValuesBackwards(const std::string& Text, TVisit Visit) {
  for (std::size_t I = Text.size(); I-- > 0;) {
    const auto C = static_cast<unsigned char>(Text[I]);
    if (C >= ReferenceSize) continue;
    const std::uint16_t Entry = BC_Code93_Reference[C];
    if (HasSecond(Entry)) Visit(Entry & 0xFF);
    Visit(Entry >> 8);
  }
}

// The weighted sum modulo 47 of the values of Text taken from the right,
// the weights running First, First + 1, ..., MaxWeight, 1, 2, ...; Sum is
// what the sum starts from.
std::uint8_t WeightedSum(const std::string& Text, int Sum, int First, int MaxWeight) {
  int Weight = First;
  ValuesBackwards(Text, [&](int Value) {
    Sum = (Sum + Value * Weight) % Modulus;
    Weight = Weight == MaxWeight ? 1 : Weight + 1;
  });
  return static_cast<std::uint8_t>(Sum);
}


}  // namespace

// Check character C: the values weighted 1, 2, ..., 20, 1, ... from the right.
std::uint8_t Mod93Left(std::string Text) { return WeightedSum(Text, 0, 1, 20); }

// Check character K: C weighted 1, then the values weighted 2, ..., 15, 1, ...
// from the right.
std::uint8_t Mod93Right(std::string Text) { return WeightedSum(Text, Mod93Left(Text), 2, 15); }

// Two for a character written as a shift pair, one for any other. A
// character above 127 has no encoding; it counts one, like any character
// written without a shift, so that the width covers the whole text the way
// every symbology counts a character its encoder cannot draw. The sum wraps
// to 32 bits like the rest of the width arithmetic.
std::uint32_t Code93SymbolValueCount(const std::string& Text) {
  std::uint32_t Count = 0;
  for (char Ch : Text) {
    const auto C = static_cast<unsigned char>(Ch);
    Count += C < ReferenceSize && HasSecond(BC_Code93_Reference[C]) ? 2u : 1u;
  }
  return Count;
}

// Paints start, the one or two symbol characters of each character of Text,
// C, K and the stop with its termination bar from X on, 9 modules a symbol
// character. A character above 127 ends the drawing where it stands: neither
// the checks nor the stop are drawn.
void BarcodeCode93(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                   std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  Run.PaintWord(BC_Code93[StartStop], ModulesPerChar);
  for (char Ch : Text) {
    const auto C = static_cast<unsigned char>(Ch);
    if (C >= ReferenceSize) return;
    const std::uint16_t Entry = BC_Code93_Reference[C];
    Run.PaintWord(BC_Code93[Entry >> 8], ModulesPerChar);
    if (HasSecond(Entry)) Run.PaintWord(BC_Code93[Entry & 0xFF], ModulesPerChar);
  }
  Run.PaintWord(BC_Code93[Mod93Left(Text)], ModulesPerChar);
  Run.PaintWord(BC_Code93[Mod93Right(Text)], ModulesPerChar);
  Run.PaintWord(BC_Code93[StopAndBar], StopModules);
}

}  // namespace tolvane
