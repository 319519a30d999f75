// Field types from declared column types, and the conversions of stored
// values to the field types' texts and numbers (private to the class library).
#pragma once

#include <cstdint>
#include <string>

#include <vcl/DB.h>

#include "TableFormats.h"

namespace vcl::detail {

// The field type and size of a column: from its declared type, or, for an
// expression without one, from the storage class of its first value.
void FieldTypeOf(const TSqlColumn& Column, const TSqlValue* FirstValue, TFieldType& Type, int& Size);
int DefaultDisplayWidth(TFieldType Type, int Size);

// The shortest text that reads back as exactly D ("0.1", "1e+300", "-0").
std::string ShortestDouble(double D);

// Parsed pieces of a stored date, time or timestamp. False when Value is not
// one (text in ISO 8601 form, or a Julian day number as SQLite's date
// functions take it).
bool ParseDate(const TSqlValue& Value, TDateValue& Date);
bool ParseTime(const TSqlValue& Value, std::int32_t& TimeMs);
bool ParseDateTime(const TSqlValue& Value, TDateValue& Date, std::int32_t& TimeMs);
std::string FormatDate(const TDateValue& Date);          // 2024-03-01
std::string FormatTime(std::int32_t TimeMs);             // 13:05:09, 13:05:09.250
TDateTime ToDateTime(const TDateValue& Date, std::int32_t TimeMs);

// The stored value as the field type's cell; raises EConvertError naming
// FieldName when the value is not of the type. Text the conversion makes
// (a number in a string field) is kept in Scratch, which Cell.Text may view.
void ToCell(const TSqlValue& Value, TFieldType Type, const std::string& FieldName, TCell& Cell,
            std::string& Scratch);
// The cell's text in the field type's format (NULL: empty).
std::string CellText(const TCell& Cell, TFieldType Type);
// The same text appended to Out, without making strings of its own.
void AppendCellText(const TCell& Cell, TFieldType Type, std::string& Out);

}  // namespace vcl::detail
