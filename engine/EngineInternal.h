// What the engine's own files share and do not export.
#pragma once

#include <cstdint>
#include <string>

#include "BarcodeDef.h"

namespace tolvane {

// The number of Code 93 symbol values the data of Text needs: two for a
// character written as a shift pair, one for any other.
std::uint32_t Code93SymbolValueCount(const std::string& Text);

// The 16-bit table entry of a pattern given by its element widths (bar,
// space, bar, ...), each a digit 1..4, module 0 in bit 15. Anything but a
// character of CharModules modules in six elements or a stop of StopModules
// in seven (a width out of range, more than 16 modules) gives 0, which the
// checks on each table reject.
constexpr std::uint16_t WidthPattern(const char* Widths, int CharModules, int StopModules) {
  constexpr int FirstModuleBit = 15;
  std::uint32_t Bits = 0;
  int Modules = 0, Elements = 0;
  for (const char* W = Widths; *W != '\0'; ++W, ++Elements) {
    if (*W < '1' || *W > '4') return 0;
    const bool Bar = Elements % 2 == 0;
    for (int K = 0; K < *W - '0'; ++K, ++Modules) {
      if (Modules > FirstModuleBit) return 0;
      if (Bar) Bits |= 1u << (FirstModuleBit - Modules);
    }
  }
  const bool Character = Modules == CharModules && Elements == 6;
  const bool Stop = Modules == StopModules && Elements == 7;
  return Character || Stop ? static_cast<std::uint16_t>(Bits) : 0;
}

// Paints a symbol's modules left to right from X: a dark module is one
// Scale-wide rectangle from Y to Y + Height, a light one is skipped. Every
// encoder that draws module by module goes through it.
class TModuleRun {
public:
  TModuleRun(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height, std::int32_t Scale)
      : FCanvas(Canvas), FX(X), FY(Y), FBottom(WrapAdd(Y, Height)), FScale(Scale) {}

  // The first Modules modules of a byte pattern, module i in bit 7 - i.
  void Paint(std::uint8_t Pattern, int Modules) { PaintBits(Pattern, Modules, 7); }
  // The first Modules modules of a 16-bit table entry, module i in bit 15 - i.
  void PaintWord(std::uint16_t Pattern, int Modules) { PaintBits(Pattern, Modules, 15); }

private:
  void PaintBits(std::uint32_t Pattern, int Modules, int TopBit) {
    for (int I = 0; I < Modules && I <= TopBit; ++I) {
      if ((Pattern >> (TopBit - I)) & 1u) FCanvas->Rectangle(FX, FY, WrapAdd(FX, FScale), FBottom);
      FX = WrapAdd(FX, FScale);
    }
  }

  vcl::TCanvas* FCanvas;
  std::int32_t FX, FY, FBottom, FScale;
};

}  // namespace tolvane
