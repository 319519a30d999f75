// What the engine's own files share and do not export.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// The number of Code 93 symbol values the data of Text needs: two for a
// character written as a shift pair, one for any other.
std::uint32_t Code93SymbolValueCount(const std::string& Text);

}  // namespace tolvane
