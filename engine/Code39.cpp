// Code 39: the character patterns and the encoder that paints them.
#include <cstddef>
#include <iterator>

#include "BarcodeDef.h"
#include "EngineInternal.h"

namespace tolvane {

namespace {

// A character's 13 modules sit in bits 15 (module 0) down to 3 (module 12).
constexpr int ModulesPerChar = 13;
constexpr int FirstModuleBit = 15;
constexpr int LastModuleBit = FirstModuleBit - ModulesPerChar + 1;
constexpr std::uint32_t ModuleMask = ((1u << ModulesPerChar) - 1) << LastModuleBit;
// BC_Code39 starts at the space.
constexpr int FirstCode = 32;
// The start and stop character that frames every symbol.
constexpr char StartStop = '*';

}  // namespace

// The standard Code 39 character set (ISO/IEC 16388, ANSI MH10.8M): nine
// elements, bar and space alternating from a bar, three of them wide (two
// modules) and six narrow (one module), so twelve modules; each entry puts a
// light inter-character gap module in front of them. '$', '%' and '.' belong to
// the set but are not drawn by this engine, so their entries are zero like
// those of the codes outside it.
constexpr std::uint32_t BC_Code39[60] = {
    // 32..39:  space  !  "  #  $  %  &  '
    0x4D68, 0, 0, 0, 0, 0, 0, 0,
    // 40..47:  (  )  *  +  ,  -  .  /
    0, 0, 0x4B68, 0x4A48, 0, 0x4AD8, 0, 0x4948,
    // 48..55:  0  1  2  3  4  5  6  7
    0x5368, 0x6958, 0x5958, 0x6CA8, 0x5358, 0x69A8, 0x59A8, 0x52D8,
    // 56..63:  8  9  :  ;  <  =  >  ?
    0x6968, 0x5968, 0, 0, 0, 0, 0, 0,
    // 64..71:  @  A  B  C  D  E  F  G
    0, 0x6A58, 0x5A58, 0x6D28, 0x5658, 0x6B28, 0x5B28, 0x54D8,
    // 72..79:  H  I  J  K  L  M  N  O
    0x6A68, 0x5A68, 0x5668, 0x6A98, 0x5A98, 0x6D48, 0x5698, 0x6B48,
    // 80..87:  P  Q  R  S  T  U  V  W
    0x5B48, 0x5598, 0x6AC8, 0x5AC8, 0x56C8, 0x6558, 0x4D58, 0x66A8,
    // 88..91:  X  Y  Z  [
    0x4B58, 0x65A8, 0x4DA8, 0,
};

namespace {

static_assert(std::size(BC_Code39) == 60, "one entry for each code 32..91");

// Module k of a pattern (0 = the gap module).
constexpr bool ModuleDark(std::uint32_t Pattern, int K) {
  return (Pattern >> (FirstModuleBit - K)) & 1u;
}

// A non-zero entry uses only the 13 module bits, starts with the light gap
// module, and is then nine alternating elements from a bar to a bar, three of
// them two modules wide and the rest one.
constexpr bool WellFormedPattern(std::uint32_t Pattern) {
  if (Pattern == 0) return true;
  if ((Pattern & ~ModuleMask) != 0 || ModuleDark(Pattern, 0)) return false;
  if (!ModuleDark(Pattern, 1) || !ModuleDark(Pattern, ModulesPerChar - 1)) return false;
  int Elements = 0, Wide = 0, Run = 0;
  for (int K = 1; K < ModulesPerChar; ++K) {
    ++Run;
    const bool EndOfElement = K == ModulesPerChar - 1 || ModuleDark(Pattern, K) != ModuleDark(Pattern, K + 1);
    if (!EndOfElement) continue;
    if (Run > 2) return false;
    ++Elements;
    if (Run == 2) ++Wide;
    Run = 0;
  }
  return Elements == 9 && Wide == 3;
}

// Every entry well formed, no two characters alike, and 41 characters drawn
// (the 44 of the set less '$', '%' and '.').
constexpr bool TableWellFormed() {
  int Drawn = 0;
  for (std::size_t I = 0; I < std::size(BC_Code39); ++I) {
    if (!WellFormedPattern(BC_Code39[I])) return false;
    if (BC_Code39[I] == 0) continue;
    ++Drawn;
    for (std::size_t J = I + 1; J < std::size(BC_Code39); ++J)
      if (BC_Code39[J] == BC_Code39[I]) return false;
  }
  return Drawn == 41;
}
static_assert(TableWellFormed(), "BC_Code39 holds a malformed or repeated pattern");

}  // namespace

// Paints '*' + Text + '*' from X on, 13 modules a character. A character
// below the space or above '[' ends the drawing where it stands (what is
// painted stays, the stop character is not drawn); a code in range without a
// pattern leaves its 13 modules light. Text is taken as it is: it is not
// upper-cased, so a lower-case letter ends the drawing too.
void BarcodeCode39(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                   std::int32_t Scale, std::string Text) {
  const TBarBrush Brush(Canvas);
  const std::string Symbol = StartStop + Text + StartStop;
  TModuleRun Run(Canvas, X, Y, Height, Scale);
  for (char Ch : Symbol) {
    const int Index = static_cast<unsigned char>(Ch) - FirstCode;
    if (Index < 0 || Index >= static_cast<int>(std::size(BC_Code39))) return;
    Run.PaintWord(static_cast<std::uint16_t>(BC_Code39[Index]), ModulesPerChar);
  }
}

}  // namespace tolvane
