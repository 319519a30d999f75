// Module rows from an independent encoder (libzint), for symbologies no
// decoder reads: the test compares our modules with the peer's.
#pragma once

#include <string>
#include <vector>

namespace tolvane::test {

struct TZintSymbol {
  bool Ok = false;                // the peer encoded the data
  std::string Error;              // its message when it did not
  std::vector<std::string> Rows;  // one "1010..." string per row, dark = '1'
};

// Symbology is one of libzint's BARCODE_* numbers.
TZintSymbol ZintEncode(int Symbology, const std::string& Data);

}  // namespace tolvane::test
