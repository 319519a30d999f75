// What the engine's own files share and do not export.
#pragma once

#include <cstdint>
#include <string>

#include "BarcodeDef.h"

namespace tolvane {

// The number of Code 93 symbol values the data of Text needs: two for a
// character written as a shift pair, one for any other.
std::uint32_t Code93SymbolValueCount(const std::string& Text);

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
