// Renders a symbol the way the bitmap components do, into a PNG file for the
// decoders: filter the text, size a bitmap by CalcWidth, fill it white,
// CreateBC.
#pragma once

#include <cstdint>
#include <string>

#include "BarcodeDef.h"

namespace tolvane::test {

// Writes TestTempDir()/Name.png and returns its file name.
std::string RenderSymbolPng(TBarCodeType Type, const std::string& Text, std::int32_t Scale, std::int32_t Height,
                            bool Interpret, const std::string& Name);

}  // namespace tolvane::test
