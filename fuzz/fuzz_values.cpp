// Stored values of every storage class through every field type's
// conversion, and arbitrary declared column types through the type mapping:
// a value is converted or raises EConvertError, never anything else.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <vcl/DB.h>

#include "DBValues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 2) return 0;
  using namespace vcl;
  const auto type = static_cast<TFieldType>(Data[0] % (ftLargeint + 1));
  TSqlValue v;
  v.Kind = static_cast<TSqlValue::TKind>(Data[1] % 5);
  const std::string rest(reinterpret_cast<const char*>(Data + 2), Size - 2);
  if (rest.size() >= 8) {
    std::memcpy(&v.Int, rest.data(), 8);
    std::memcpy(&v.Real, rest.data(), 8);
  }
  v.Bytes = rest;

  detail::TCell cell;
  std::string scratch;
  try {
    detail::ToCell(v, type, "f", cell, scratch);
    const std::string text = detail::CellText(cell, type);
    if (!cell.Null && (type == ftDate || type == ftDateTime)) {
      if (cell.Date.Year < 1 || cell.Date.Year > 9999 || cell.Date.Month < 1 || cell.Date.Month > 12 ||
          cell.Date.Day < 1 || cell.Date.Day > 31)
        __builtin_trap();   // a parsed date is always a real one
      static_cast<void>(detail::ToDateTime(cell.Date, cell.TimeMs));
    }
    if (!cell.Null && (type == ftTime || type == ftDateTime) && (cell.TimeMs < 0 || cell.TimeMs >= 86400000))
      __builtin_trap();
    static_cast<void>(text);
  } catch (const EConvertError&) {
  }

  TFieldType mapped;
  int size = 0;
  detail::FieldTypeOf(TSqlColumn{"c", rest}, &v, mapped, size);
  if (size < 0) __builtin_trap();
  static_cast<void>(detail::DefaultDisplayWidth(mapped, size));
  return 0;
}
