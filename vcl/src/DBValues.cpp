#include "DBValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vcl::detail {

namespace {

bool Contains(const std::string& S, const char* Part) { return S.find(Part) != std::string::npos; }

// The first number in parentheses of a declared type ("VARCHAR(20)" -> 20,
// "DECIMAL(10,2)" -> 10), and the second one when Second is set.
int TypeParameter(const std::string& Decl, bool Second) {
  std::size_t at = Decl.find('(');
  if (at == std::string::npos) return -1;
  if (Second) {
    at = Decl.find(',', at);
    if (at == std::string::npos) return -1;
  }
  int n = 0;
  bool any = false;
  for (std::size_t i = at + 1; i < Decl.size(); ++i) {
    const char c = Decl[i];
    if (c == ' ') continue;
    if (c < '0' || c > '9') break;
    any = true;
    if (n < 100000) n = n * 10 + (c - '0');
  }
  return any ? n : -1;
}

int DaysInMonth(int Year, int Month) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  return Month == 2 && leap ? 29 : Days[Month - 1];
}

// Reads exactly Count digits at P.
bool Digits(const char*& P, const char* End, int Count, int& Out) {
  Out = 0;
  for (int i = 0; i < Count; ++i, ++P) {
    if (P >= End || *P < '0' || *P > '9') return false;
    Out = Out * 10 + (*P - '0');
  }
  return true;
}

bool ParseDateText(const char*& P, const char* End, TDateValue& D) {
  if (!Digits(P, End, 4, D.Year) || P >= End || *P++ != '-' || !Digits(P, End, 2, D.Month) || P >= End ||
      *P++ != '-' || !Digits(P, End, 2, D.Day))
    return false;
  return D.Year >= 1 && D.Month >= 1 && D.Month <= 12 && D.Day >= 1 && D.Day <= DaysInMonth(D.Year, D.Month);
}

// HH:MM, HH:MM:SS or HH:MM:SS.f to .fff (more digits only when they are zeros).
bool ParseTimeText(const char*& P, const char* End, std::int32_t& Ms) {
  int h, m, s = 0, frac = 0;
  if (!Digits(P, End, 2, h) || P >= End || *P++ != ':' || !Digits(P, End, 2, m)) return false;
  if (P < End && *P == ':') {
    ++P;
    if (!Digits(P, End, 2, s)) return false;
    if (P < End && *P == '.') {
      ++P;
      int n = 0;
      for (; P < End && *P >= '0' && *P <= '9'; ++P, ++n) {
        if (n < 3) frac = frac * 10 + (*P - '0');
        else if (*P != '0') return false;   // below a millisecond: would be lost
      }
      if (n == 0) return false;
      for (; n < 3; ++n) frac *= 10;
    }
  }
  if (h > 23 || m > 59 || s > 59) return false;
  Ms = ((h * 60 + m) * 60 + s) * 1000 + frac;
  return true;
}

// A Julian day number as SQLite's date functions read it, to a date and time.
bool FromJulian(double JD, TDateValue& D, std::int32_t& Ms) {
  if (!(JD >= 1721425.5 && JD < 5373484.5)) return false;   // 0001-01-01 .. 9999-12-31
  const auto iJD = static_cast<std::int64_t>(JD * 86400000.0 + 0.5);
  const std::int64_t Z = (iJD + 43200000) / 86400000;
  std::int64_t A = static_cast<std::int64_t>((static_cast<double>(Z) - 1867216.25) / 36524.25);
  A = Z + 1 + A - (A / 4);
  const std::int64_t B = A + 1524;
  const auto C = static_cast<std::int64_t>((static_cast<double>(B) - 122.1) / 365.25);
  const std::int64_t Dd = (36525 * (C & 32767)) / 100;
  const auto E = static_cast<std::int64_t>(static_cast<double>(B - Dd) / 30.6001);
  const auto X1 = static_cast<std::int64_t>(30.6001 * static_cast<double>(E));
  D.Day = static_cast<int>(B - Dd - X1);
  D.Month = static_cast<int>(E < 14 ? E - 1 : E - 13);
  D.Year = static_cast<int>(D.Month > 2 ? C - 4716 : C - 4715);
  Ms = static_cast<std::int32_t>((iJD + 43200000) % 86400000);
  return true;
}

bool JulianOf(const TSqlValue& V, TDateValue& D, std::int32_t& Ms) {
  if (V.Kind == TSqlValue::Float) return FromJulian(V.Real, D, Ms);
  if (V.Kind == TSqlValue::Integer) return FromJulian(static_cast<double>(V.Int), D, Ms);
  return false;
}

bool ParseInt64(const std::string& S, std::int64_t& Out) {
  const char* b = S.data();
  const char* e = b + S.size();
  if (b < e && *b == '+') ++b;
  auto r = std::from_chars(b, e, Out);
  return r.ec == std::errc() && r.ptr == e && b != e;
}

bool ParseDouble(const std::string& S, double& Out) {
  const char* b = S.data();
  const char* e = b + S.size();
  if (b < e && *b == '+') ++b;
  auto r = std::from_chars(b, e, Out);
  return r.ec == std::errc() && r.ptr == e && b != e;
}

[[noreturn]] void NotOfType(const TSqlValue& V, TFieldType Type, const std::string& FieldName) {
  std::string shown;
  switch (V.Kind) {
    case TSqlValue::Integer: shown = std::to_string(V.Int); break;
    case TSqlValue::Float: shown = ShortestDouble(V.Real); break;
    case TSqlValue::Blob: shown = "a blob of " + std::to_string(V.Bytes.size()) + " bytes"; break;
    default: shown = "'" + V.Bytes.substr(0, 40) + (V.Bytes.size() > 40 ? "...'" : "'"); break;
  }
  throw EConvertError(shown + " in field " + FieldName + " is not a valid " +
                      (FieldTypeInfo.NameOf(Type) ? FieldTypeInfo.NameOf(Type) + 2 : "value") + " value");
}

}  // namespace

void FieldTypeOf(const TSqlColumn& Column, const TSqlValue* FirstValue, TFieldType& Type, int& Size) {
  const std::string d = UpperCase(Column.DeclaredType);
  Size = 0;
  if (d.empty() || !(Contains(d, "BOOL") || Contains(d, "DATE") || Contains(d, "TIME") || Contains(d, "INT") ||
                     Contains(d, "MONEY") || Contains(d, "CURRENCY") || Contains(d, "NUMERIC") ||
                     Contains(d, "DECIMAL") || Contains(d, "REAL") || Contains(d, "FLOA") || Contains(d, "DOUB") ||
                     Contains(d, "CHAR") || Contains(d, "TEXT") || Contains(d, "CLOB") || Contains(d, "BLOB"))) {
    // An expression, or a type name of no known kind: the first value decides.
    switch (FirstValue ? FirstValue->Kind : TSqlValue::Null) {
      case TSqlValue::Integer: Type = ftInteger; return;
      case TSqlValue::Float: Type = ftFloat; return;
      case TSqlValue::Blob: Type = ftBlob; return;
      default: Type = ftString; Size = 255; return;
    }
  }
  if (Contains(d, "BOOL")) Type = ftBoolean;
  else if (Contains(d, "DATETIME") || Contains(d, "TIMESTAMP")) Type = ftDateTime;
  else if (d.rfind("DATE", 0) == 0) Type = ftDate;
  else if (d.rfind("TIME", 0) == 0) Type = ftTime;
  else if (Contains(d, "SMALLINT") || Contains(d, "TINYINT") || Contains(d, "INT2")) Type = ftSmallint;
  else if (Contains(d, "BIGINT") || Contains(d, "INT8")) Type = ftLargeint;
  else if (Contains(d, "INT")) Type = ftInteger;
  else if (Contains(d, "MONEY") || Contains(d, "CURRENCY")) Type = ftCurrency;
  else if (Contains(d, "NUMERIC") || Contains(d, "DECIMAL")) {
    Type = ftBCD;
    Size = std::max(0, TypeParameter(d, true));
  } else if (Contains(d, "REAL") || Contains(d, "FLOA") || Contains(d, "DOUB")) Type = ftFloat;
  else if (Contains(d, "CLOB") || Contains(d, "TEXT")) Type = ftMemo;
  else if (Contains(d, "CHAR")) {
    Type = ftString;
    const int n = TypeParameter(d, false);
    Size = n > 0 ? n : 255;
  } else if (Contains(d, "BLOB")) Type = ftBlob;
  else {
    Type = ftString;
    Size = 255;
  }
}

int DefaultDisplayWidth(TFieldType Type, int Size) {
  switch (Type) {
    case ftString: return Size;
    case ftSmallint: return 6;
    case ftInteger: case ftAutoInc: return 11;
    case ftLargeint: return 20;
    case ftWord: return 5;
    case ftBoolean: return 5;
    case ftDate: return 10;
    case ftTime: return 8;
    case ftDateTime: return 19;
    default: return 10;   // ftFloat, ftCurrency, ftBCD, ftMemo, ftBlob
  }
}

std::string ShortestDouble(double D) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, D);
  return std::string(buf, r.ptr);
}

bool ParseDate(const TSqlValue& Value, TDateValue& Date) {
  if (Value.Kind == TSqlValue::Text) {
    const char* p = Value.Bytes.data();
    const char* e = p + Value.Bytes.size();
    return ParseDateText(p, e, Date) && p == e;
  }
  std::int32_t ms = 0;
  return JulianOf(Value, Date, ms) && ms == 0;
}

bool ParseTime(const TSqlValue& Value, std::int32_t& TimeMs) {
  if (Value.Kind != TSqlValue::Text) return false;
  const char* p = Value.Bytes.data();
  const char* e = p + Value.Bytes.size();
  return ParseTimeText(p, e, TimeMs) && p == e;
}

bool ParseDateTime(const TSqlValue& Value, TDateValue& Date, std::int32_t& TimeMs) {
  if (Value.Kind != TSqlValue::Text) return JulianOf(Value, Date, TimeMs);
  const char* p = Value.Bytes.data();
  const char* e = p + Value.Bytes.size();
  if (!ParseDateText(p, e, Date)) return false;
  TimeMs = 0;
  if (p == e) return true;
  if (*p != ' ' && *p != 'T') return false;
  ++p;
  return ParseTimeText(p, e, TimeMs) && p == e;
}

std::string FormatDate(const TDateValue& D) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", D.Year, D.Month, D.Day);
  return buf;
}

std::string FormatTime(std::int32_t Ms) {
  char buf[40];
  const int s = Ms / 1000, frac = Ms % 1000;
  if (frac) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", s / 3600, s / 60 % 60, s % 60, frac);
  else std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

TDateTime ToDateTime(const TDateValue& D, std::int32_t TimeMs) {
  // Days from the civil date (proleptic Gregorian), counted from 1899-12-30.
  const int y = D.Month <= 2 ? D.Year - 1 : D.Year;
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (D.Month + (D.Month > 2 ? -3 : 9)) + 2) / 5 + D.Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;   // since 1970-01-01
  return static_cast<double>(days + 25569) + TimeMs / 86400000.0;
}

void ToCell(const TSqlValue& V, TFieldType Type, const std::string& FieldName, TCell& C, std::string& Scratch) {
  C = TCell{};
  if (V.Kind == TSqlValue::Null) return;
  C.Null = false;
  switch (Type) {
    case ftSmallint: case ftInteger: case ftLargeint: case ftWord: case ftAutoInc:
      if (V.Kind == TSqlValue::Integer) C.Int = V.Int;
      else if (V.Kind == TSqlValue::Float && V.Real == std::floor(V.Real) && std::fabs(V.Real) < 9.2e18)
        C.Int = static_cast<std::int64_t>(V.Real);
      else if (!(V.Kind == TSqlValue::Text && ParseInt64(V.Bytes, C.Int))) NotOfType(V, Type, FieldName);
      return;
    case ftFloat: case ftCurrency:
      if (V.Kind == TSqlValue::Float) C.Float = V.Real;
      else if (V.Kind == TSqlValue::Integer) {
        C.Float = static_cast<double>(V.Int);
        // Only integers a double holds exactly (beyond 2^53 some are not).
        if (std::fabs(C.Float) >= 9.2e18 || static_cast<std::int64_t>(C.Float) != V.Int) NotOfType(V, Type, FieldName);
      } else if (!(V.Kind == TSqlValue::Text && ParseDouble(V.Bytes, C.Float))) NotOfType(V, Type, FieldName);
      return;
    case ftBCD:
      if (V.Kind == TSqlValue::Integer) {
        Scratch = std::to_string(V.Int);
        C.Float = static_cast<double>(V.Int);
      } else if (V.Kind == TSqlValue::Float) {
        Scratch = ShortestDouble(V.Real);
        C.Float = V.Real;
      } else if (V.Kind == TSqlValue::Text && ParseDouble(V.Bytes, C.Float)) Scratch = V.Bytes;
      else NotOfType(V, Type, FieldName);
      C.Text = Scratch;
      return;
    case ftBoolean:
      if (V.Kind == TSqlValue::Integer) C.Bool = V.Int != 0;
      else if (V.Kind == TSqlValue::Float) C.Bool = V.Real != 0;
      else {
        const std::string t = LowerCase(V.Bytes);
        if (t == "true" || t == "t" || t == "yes" || t == "y" || t == "1") C.Bool = true;
        else if (t == "false" || t == "f" || t == "no" || t == "n" || t == "0") C.Bool = false;
        else NotOfType(V, Type, FieldName);
      }
      return;
    case ftDate:
      if (!ParseDate(V, C.Date)) NotOfType(V, Type, FieldName);
      return;
    case ftTime:
      if (!ParseTime(V, C.TimeMs)) NotOfType(V, Type, FieldName);
      return;
    case ftDateTime:
      if (!ParseDateTime(V, C.Date, C.TimeMs)) NotOfType(V, Type, FieldName);
      return;
    default:   // ftString, ftMemo, ftBlob and the rest: the bytes
      if (V.Kind == TSqlValue::Integer) {
        Scratch = std::to_string(V.Int);
        C.Text = Scratch;
      } else if (V.Kind == TSqlValue::Float) {
        Scratch = ShortestDouble(V.Real);
        C.Text = Scratch;
      } else {
        C.Text = V.Bytes;
      }
      return;
  }
}

namespace {

// Appends Value as Width decimal digits, zero-padded.
void AppendDigits(std::string& Out, int Value, int Width) {
  char d[8];
  for (int i = Width - 1; i >= 0; --i, Value /= 10) d[i] = static_cast<char>('0' + Value % 10);
  Out.append(d, static_cast<std::size_t>(Width));
}

void AppendDate(std::string& Out, const TDateValue& D) {
  AppendDigits(Out, D.Year, 4);
  Out += '-';
  AppendDigits(Out, D.Month, 2);
  Out += '-';
  AppendDigits(Out, D.Day, 2);
}

}  // namespace

void AppendCellText(const TCell& C, TFieldType Type, std::string& Out) {
  if (C.Null) return;
  char buf[48];
  switch (Type) {
    case ftSmallint: case ftInteger: case ftLargeint: case ftWord: case ftAutoInc: {
      auto r = std::to_chars(buf, buf + sizeof buf, C.Int);
      Out.append(buf, r.ptr);
      return;
    }
    case ftFloat: case ftCurrency: {
      auto r = std::to_chars(buf, buf + sizeof buf, C.Float);
      Out.append(buf, r.ptr);
      return;
    }
    case ftBoolean: Out += C.Bool ? "True" : "False"; return;
    case ftDate: AppendDate(Out, C.Date); return;
    case ftTime: Out += FormatTime(C.TimeMs); return;
    case ftDateTime:
      AppendDate(Out, C.Date);
      Out += 'T';
      Out += FormatTime(C.TimeMs);
      return;
    default: Out.append(C.Text); return;
  }
}

std::string CellText(const TCell& C, TFieldType Type) {
  std::string s;
  AppendCellText(C, Type, s);
  return s;
}

}  // namespace vcl::detail
