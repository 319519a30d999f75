#include "ZintRows.h"

#include <zint.h>

namespace tolvane::test {

TZintSymbol ZintEncode(int Symbology, const std::string& Data) {
  TZintSymbol out;
  zint_symbol* s = ZBarcode_Create();
  if (!s) return out;
  s->symbology = Symbology;
  const int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(Data.data()),
                                 static_cast<int>(Data.size()));
  if (rc >= ZINT_ERROR) {
    out.Error = s->errtxt;
  } else {
    out.Ok = true;
    // Row r, module c is bit (c mod 8) of byte c / 8 of the row's encoded data.
    for (int r = 0; r < s->rows; ++r) {
      std::string row;
      for (int c = 0; c < s->width; ++c) row += ((s->encoded_data[r][c >> 3] >> (c & 7)) & 1) ? '1' : '0';
      out.Rows.push_back(row);
    }
  }
  ZBarcode_Delete(s);
  return out;
}

}  // namespace tolvane::test
