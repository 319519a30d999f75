// Table-file writers of the data-access layer (private to the class library).
//
// A batch move creates the destination with one of these writers from the
// source's field definitions, hands it every record as a row of cells, and
// finishes it. A writer never changes a value silently: what its format
// cannot hold raises EDatabaseError naming the field, the record and the value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <vcl/DB.h>

namespace vcl::detail {

// One column of the destination, as the source's field defines it.
struct TTableFieldDef {
  std::string Name;        // the source field's name, as it is
  TFieldType DataType;     // ftString, ftSmallint, ftInteger, ftLargeint, ftWord, ftAutoInc,
                           // ftFloat, ftCurrency, ftBCD, ftBoolean, ftDate, ftTime, ftDateTime,
                           // ftMemo, ftBlob
  int Size = 0;            // ftString: its length in characters; ftBCD: decimal places; else 0
};

// A calendar date (proleptic Gregorian, year 1..9999).
struct TDateValue {
  int Year = 0, Month = 0, Day = 0;
};

// One value of a record. Which member carries it follows the field's type:
//   Int   ftSmallint, ftInteger, ftLargeint, ftWord, ftAutoInc
//   Float ftFloat, ftCurrency, ftBCD (Text holds ftBCD's exact decimal text as well)
//   Bool  ftBoolean
//   Date  ftDate, ftDateTime;  TimeMs  ftTime, ftDateTime (milliseconds after midnight)
//   Text  ftString, ftMemo, ftBlob (bytes, any values), ftBCD
struct TCell {
  bool Null = true;
  std::int64_t Int = 0;
  double Float = 0;
  bool Bool = false;
  TDateValue Date;
  std::int32_t TimeMs = 0;
  std::string_view Text;   // valid until the next record
};

class TTableFileWriter {
public:
  virtual ~TTableFileWriter() = default;
  // Appends one record; Cells has one entry per field definition, in order.
  virtual void Append(const std::vector<TCell>& Cells) = 0;
  // Completes the files (record counts, end markers), closes them and moves
  // them into place, replacing a table of the same name. A writer destroyed
  // without Finish removes what it wrote and leaves an older table as it was.
  virtual void Finish() = 0;
};

// dBASE flavours: a dBASE table (.dbf, memo fields in a .dbt) or a
// FoxPro-flavoured one (.dbf, memo fields in an .fpt).
enum class TDbfFlavour { DBase, FoxPro };

// Start the table file Path (and its memo file when a field needs one),
// failing with EDatabaseError when a definition cannot be stored in the
// format (a name too long or taken twice, a type it has no column for) and
// with EInOutError when the files cannot be written.
std::unique_ptr<TTableFileWriter> CreateDbfWriter(const std::string& Path,
                                                  const std::vector<TTableFieldDef>& Fields,
                                                  TDbfFlavour Flavour);
std::unique_ptr<TTableFileWriter> CreateParadoxWriter(const std::string& Path,
                                                      const std::vector<TTableFieldDef>& Fields);

}  // namespace vcl::detail
