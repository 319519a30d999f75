// dBASE table files for the batch move: a .dbf of fixed-width records and,
// when a field needs one, a memo file beside it (.dbt in the dBASE III
// layout, .fpt in the FoxPro layout).
//
// The table file is a 32-byte header (version, date of the last update,
// record count, header and record lengths, code page), a 32-byte descriptor
// per field (name, type letter, width, decimal places), 0x0D, the records
// (each a deletion flag ' ' and the fields' texts) and 0x1A.
//
// Every value is written as text that readers of the format read back
// unchanged. Both flavours use the column types every reader knows (C, N,
// L, D, M): the binary types later FoxPro versions added (B, I, T) belong to
// a table version of their own, which readers of a FoxPro 2 table (0xF5)
// reject and other readers show as raw bytes. What a column cannot hold
// raises EDatabaseError naming the field, the record and the value.

#include "StagedFiles.h"
#include "TableFormats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include <vcl/SysUtils.h>

namespace vcl::detail {

namespace {

constexpr std::uint8_t CodePage437 = 0x01;     // language driver id: IBM PC code page 437
constexpr int MaxCharWidth = 254;               // widest character column
constexpr int NumericWidth = 20;                // widest numeric column of dBASE IV and FoxPro
constexpr int LargeintWidth = 18;               // widest integer column readers take as a 64-bit integer
constexpr int MaxDecimals = 15;                 // most decimal places of a numeric column
constexpr int ExactDigits = 15;                 // significant digits every double holds exactly
constexpr int MemoRefWidth = 10;                // block number of a memo in its record
constexpr std::uint32_t DbtBlockSize = 512;     // dBASE III memo blocks
constexpr std::uint32_t FptBlockSize = 64;      // FoxPro memo blocks
constexpr std::uint32_t FptHeaderBlocks = 512 / FptBlockSize;
constexpr std::size_t BufferSize = 256 * 1024;  // output buffer of each file
constexpr std::int32_t MsPerDay = 86400000;

// How a column's values are written.
enum class TKind : std::uint8_t { Char, Integer, Float, Decimal, Logical, Date, Time, DateTime, Memo };

// One column of the table as written.
struct TColumn {
  std::string SourceName;  // the source field's name, for messages
  char Name[11] = {};      // the name in the header, zero-padded
  TKind Kind = TKind::Char;
  char Type = 'C';         // the column's type letter
  int Width = 0;           // bytes in the record
  int Decimals = 0;        // decimal places of a numeric column
  int Offset = 0;          // position in the record (the deletion flag is at 0)
  std::int64_t MaxLength = -1;  // Char and a string's memo: most bytes of a value; -1: no limit
};

// ---- Messages -------------------------------------------------------------------

// A value's bytes as a quoted text for a message: bytes outside printable
// ASCII as \xNN, a long value cut short with its length.
std::string Quoted(std::string_view Text) {
  constexpr std::size_t Shown = 40;
  std::string s = "'";
  for (std::size_t i = 0; i < Text.size() && i < Shown; ++i) {
    const auto c = static_cast<unsigned char>(Text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      s += static_cast<char>(c);
    } else {
      static constexpr char Hex[] = "0123456789ABCDEF";
      s += "\\x";
      s += Hex[c >> 4];
      s += Hex[c & 15];
    }
  }
  s += '\'';
  if (Text.size() > Shown) s += "... (" + std::to_string(Text.size()) + " bytes)";
  return s;
}

std::string DoubleText(double D) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, D);
  return std::string(buf, r.ptr);
}

std::string DateText(const TDateValue& D) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", D.Year, D.Month, D.Day);
  return buf;
}

std::string TimeText(std::int32_t Ms) { return std::to_string(Ms) + " ms after midnight"; }

[[noreturn]] void Reject(const TColumn& Column, std::uint64_t Record, const std::string& Shown,
                         const std::string& Reason) {
  throw EDatabaseError("Field '" + Column.SourceName + "', record " + std::to_string(Record) + ": " + Shown +
                       " " + Reason);
}

[[noreturn]] void RejectDefinition(const TTableFieldDef& Field, const std::string& Reason) {
  throw EDatabaseError("Field '" + Field.Name + "' cannot be stored in a dBASE table: " + Reason);
}

// ---- Field definitions -----------------------------------------------------------

bool IsAsciiLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
bool IsNameChar(char C) { return IsAsciiLetter(C) || (C >= '0' && C <= '9') || C == '_'; }

// The column type of a field's type: the dBASE flavour and the FoxPro one
// share every choice (see the file's opening comment).
TColumn ColumnFor(const TTableFieldDef& Field) {
  TColumn c;
  c.SourceName = Field.Name;
  auto set = [&c](TKind Kind, char Type, int Width, int Decimals = 0) {
    c.Kind = Kind;
    c.Type = Type;
    c.Width = Width;
    c.Decimals = Decimals;
  };
  switch (Field.DataType) {
    case ftString:
      if (Field.Size < 1) RejectDefinition(Field, "a string field needs a length of at least 1");
      // Longer strings than a character column holds go into a memo.
      if (Field.Size <= MaxCharWidth) set(TKind::Char, 'C', Field.Size);
      else set(TKind::Memo, 'M', MemoRefWidth);
      c.MaxLength = Field.Size;
      break;
    case ftSmallint: set(TKind::Integer, 'N', 6); break;                 // -32768
    case ftWord: set(TKind::Integer, 'N', 5); break;                     // 65535
    case ftInteger: case ftAutoInc: set(TKind::Integer, 'N', 11); break; // -2147483648
    case ftLargeint: set(TKind::Integer, 'N', LargeintWidth); break;
    case ftFloat: set(TKind::Float, 'N', NumericWidth, 10); break;
    case ftCurrency: set(TKind::Float, 'N', NumericWidth, 4); break;
    case ftBCD:
      if (Field.Size < 0 || Field.Size > MaxDecimals)
        RejectDefinition(Field, std::to_string(Field.Size) + " decimal places; a numeric column has 0 to " +
                                    std::to_string(MaxDecimals));
      set(TKind::Decimal, 'N', NumericWidth, Field.Size);
      break;
    case ftBoolean: set(TKind::Logical, 'L', 1); break;
    case ftDate: set(TKind::Date, 'D', 8); break;
    case ftTime: set(TKind::Time, 'C', 12); break;           // HH:MM:SS.mmm
    case ftDateTime: set(TKind::DateTime, 'C', 23); break;   // YYYY-MM-DD HH:MM:SS.mmm
    case ftMemo: case ftBlob: set(TKind::Memo, 'M', MemoRefWidth); break;
    default: {
      const char* name = FieldTypeInfo.NameOf(Field.DataType);
      RejectDefinition(Field, std::string("a dBASE table has no column for type ") + (name ? name : "unknown"));
    }
  }
  return c;
}

// The header names of the fields. A name of up to 10 ASCII letters, digits
// and underscores, beginning with a letter, is kept as it is; a longer one
// is cut to 10 characters and, when that name is taken, to fewer followed by
// the first number that makes it unique ("customer_number" ->
// "customer_n", then "customer_1"). Names compare without regard to ASCII
// case, as dBASE's do. The result depends on the definitions alone.
void AssignNames(const std::vector<TTableFieldDef>& Fields, std::vector<TColumn>& Columns) {
  std::vector<std::string> taken;   // upper-case names already in the header
  auto isTaken = [&taken](const std::string& Name) {
    const std::string upper = UpperCase(Name);
    for (const std::string& t : taken)
      if (t == upper) return true;
    return false;
  };
  for (std::size_t i = 0; i < Fields.size(); ++i) {
    const std::string& name = Fields[i].Name;
    if (name.empty()) throw EDatabaseError("A field without a name cannot be stored in a dBASE table");
    bool valid = IsAsciiLetter(name[0]);
    for (char ch : name) valid = valid && IsNameChar(ch);
    if (!valid)
      RejectDefinition(Fields[i], "a field name is made of ASCII letters, digits and underscores and begins "
                                  "with a letter");
    for (std::size_t j = 0; j < i; ++j)
      if (SameText(Fields[j].Name, name)) throw EDatabaseError("Field name '" + name + "' is taken twice");
  }
  std::vector<std::string> names(Fields.size());
  for (std::size_t i = 0; i < Fields.size(); ++i)
    if (Fields[i].Name.size() <= 10) {
      names[i] = Fields[i].Name;
      taken.push_back(UpperCase(names[i]));
    }
  for (std::size_t i = 0; i < Fields.size(); ++i) {
    if (!names[i].empty()) continue;
    std::string candidate = Fields[i].Name.substr(0, 10);
    for (unsigned n = 1; isTaken(candidate); ++n) {
      const std::string digits = std::to_string(n);
      candidate = Fields[i].Name.substr(0, 10 - digits.size()) + digits;
    }
    names[i] = candidate;
    taken.push_back(UpperCase(candidate));
  }
  for (std::size_t i = 0; i < Fields.size(); ++i)
    std::memcpy(Columns[i].Name, names[i].data(), names[i].size());
}

// ---- Files ------------------------------------------------------------------------

// A file written under a temporary name beside its final one, through a
// buffer; removed on destruction unless moved into place.
class TOutFile : public TStagedFile {
public:
  explicit TOutFile(std::string FinalName)
      : TStagedFile(std::move(FinalName), O_WRONLY), FBuffer(new char[BufferSize]) {}

  // Room for Count bytes (at most BufferSize) at the end of the buffer,
  // taken by Commit; what is not committed is overwritten by the next call.
  char* Reserve(std::size_t Count) {
    if (FUsed + Count > BufferSize) Flush();
    return FBuffer.get() + FUsed;
  }
  void Commit(std::size_t Count) { FUsed += Count; }

  void Write(const void* Data, std::size_t Count) {
    if (FUsed + Count > BufferSize) {
      Flush();
      if (Count >= BufferSize) {
        WriteAll(static_cast<const char*>(Data), Count);
        return;
      }
    }
    std::memcpy(FBuffer.get() + FUsed, Data, Count);
    FUsed += Count;
  }
  void Fill(char Byte, std::size_t Count) {
    while (Count > 0) {
      const std::size_t n = std::min(Count, BufferSize);
      std::memset(Reserve(n), Byte, n);
      Commit(n);
      Count -= n;
    }
  }

  void Flush() {
    WriteAll(FBuffer.get(), FUsed);
    FUsed = 0;
  }

  // Overwrites bytes already flushed.
  void WriteAt(off_t Offset, const void* Data, std::size_t Count) {
    const char* p = static_cast<const char*>(Data);
    while (Count > 0) {
      const ssize_t n = pwrite(FFd, p, Count, Offset);
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write", errno);
      }
      p += n;
      Count -= static_cast<std::size_t>(n);
      Offset += n;
    }
  }

  void Close() {
    Flush();
    CloseFile();
  }

private:
  void WriteAll(const char* P, std::size_t Count) {
    while (Count > 0) {
      const ssize_t n = write(FFd, P, Count);
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write", errno);
      }
      P += n;
      Count -= static_cast<std::size_t>(n);
    }
  }

  std::unique_ptr<char[]> FBuffer;
  std::size_t FUsed = 0;
};

void PutLE16(char* P, std::uint32_t V) {
  P[0] = static_cast<char>(V & 0xFF);
  P[1] = static_cast<char>((V >> 8) & 0xFF);
}
void PutLE32(char* P, std::uint32_t V) {
  PutLE16(P, V & 0xFFFF);
  PutLE16(P + 2, V >> 16);
}
void PutBE32(char* P, std::uint32_t V) {
  P[0] = static_cast<char>((V >> 24) & 0xFF);
  P[1] = static_cast<char>((V >> 16) & 0xFF);
  P[2] = static_cast<char>((V >> 8) & 0xFF);
  P[3] = static_cast<char>(V & 0xFF);
}

// ---- Values ----------------------------------------------------------------------

void PutDigits(char* P, int Count, int Value) {
  for (int i = Count - 1; i >= 0; --i) {
    P[i] = static_cast<char>('0' + Value % 10);
    Value /= 10;
  }
}

// Text of Length bytes right-aligned in a numeric column of Width.
void PutRight(char* P, int Width, const char* Text, std::size_t Length) {
  const std::size_t pad = static_cast<std::size_t>(Width) - Length;
  std::memset(P, ' ', pad);
  std::memcpy(P + pad, Text, Length);
}

bool ValidDate(const TDateValue& D) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (D.Year < 1 || D.Year > 9999 || D.Month < 1 || D.Month > 12 || D.Day < 1) return false;
  const bool leap = (D.Year % 4 == 0 && D.Year % 100 != 0) || D.Year % 400 == 0;
  return D.Day <= (D.Month == 2 && leap ? 29 : Days[D.Month - 1]);
}

// HH:MM:SS.mmm
void PutTime(char* P, std::int32_t Ms) {
  const int s = Ms / 1000;
  PutDigits(P, 2, s / 3600);
  P[2] = ':';
  PutDigits(P + 3, 2, s / 60 % 60);
  P[5] = ':';
  PutDigits(P + 6, 2, s % 60);
  P[8] = '.';
  PutDigits(P + 9, 3, Ms % 1000);
}

// The shortest text of at most Width characters that reads back as exactly
// D: plain decimal when it fits, else exponent form with its digits as an
// integer or as one digit and a fraction, whichever is shorter
// ("1e-300", "12345678901234568e4"). Returns its length, 0 when none fits.
std::size_t DoubleToText(double D, char* Out, int Width) {
  if (!std::isfinite(D)) return 0;
  auto fixed = std::to_chars(Out, Out + Width, D, std::chars_format::fixed);
  if (fixed.ec == std::errc()) return static_cast<std::size_t>(fixed.ptr - Out);

  char sci[40];
  const auto r = std::to_chars(sci, sci + sizeof sci, D, std::chars_format::scientific);
  const char* end = r.ptr;
  const char* e = static_cast<const char*>(std::memchr(sci, 'e', static_cast<std::size_t>(end - sci)));
  int exponent = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, end, exponent);
  const bool negative = sci[0] == '-';
  char digits[24];
  std::size_t n = 0;
  for (const char* p = sci + (negative ? 1 : 0); p < e; ++p)
    if (*p != '.') digits[n++] = *p;

  char a[40], b[40];
  char* pa = a;
  char* pb = b;
  if (negative) *pa++ = *pb++ = '-';
  // One digit, a fraction and the exponent.
  *pa++ = digits[0];
  if (n > 1) {
    *pa++ = '.';
    std::memcpy(pa, digits + 1, n - 1);
    pa += n - 1;
  }
  *pa++ = 'e';
  pa = std::to_chars(pa, a + sizeof a, exponent).ptr;
  // The digits as an integer and the exponent that scales it.
  std::memcpy(pb, digits, n);
  pb += n;
  *pb++ = 'e';
  pb = std::to_chars(pb, b + sizeof b, exponent - static_cast<int>(n - 1)).ptr;

  const char* best = pa - a <= pb - b ? a : b;
  const std::size_t length = static_cast<std::size_t>(best == a ? pa - a : pb - b);
  if (length > static_cast<std::size_t>(Width)) return 0;
  std::memcpy(Out, best, length);
  return length;
}

// A decimal number's text ("-12.5", "1e+3", "0.250") as a fixed-point text
// with exactly Decimals places. Returns its length, 0 when the text is not a
// number, has more significant digits than a double holds exactly, needs more
// places than Decimals, or does not fit Width.
std::size_t DecimalToText(std::string_view Text, int Decimals, char* Out, int Width) {
  std::size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '-' || Text[i] == '+')) negative = Text[i++] == '-';
  char digits[ExactDigits];
  int n = 0;              // significant digits kept, without leading and trailing zeros
  int zeros = 0;          // zeros after them, kept back until another digit follows
  int exponent = 0;       // the value is digits * 10^(exponent + zeros)
  bool any = false, point = false;
  for (; i < Text.size(); ++i) {
    const char ch = Text[i];
    if (ch == '.' && !point) {
      point = true;
      continue;
    }
    if (ch < '0' || ch > '9') break;
    any = true;
    if (point) --exponent;
    if (ch == '0') {
      if (n > 0) ++zeros;
      continue;
    }
    if (n + zeros >= ExactDigits) return 0;   // more digits than a double holds exactly
    for (; zeros > 0; --zeros) digits[n++] = '0';
    digits[n++] = ch;
  }
  if (!any) return 0;
  if (i < Text.size() && (Text[i] == 'e' || Text[i] == 'E')) {
    int e = 0;
    const char* first = Text.data() + i + 1;
    const char* last = Text.data() + Text.size();
    if (first < last && *first == '+') ++first;
    const auto r = std::from_chars(first, last, e);
    if (r.ec != std::errc() || r.ptr != last || e > 400 || e < -400) return 0;
    exponent += e;
    i = Text.size();
  }
  if (i != Text.size()) return 0;
  exponent += zeros;
  if (n == 0) {
    negative = false;   // zero, however many places it was written with
    exponent = 0;
  }
  if (-exponent > Decimals) return 0;

  // Digit k of digits stands for 10^(n - 1 - k + exponent).
  const int intDigits = std::max(0, n + exponent);
  const int length = (negative ? 1 : 0) + std::max(intDigits, 1) + (Decimals > 0 ? 1 + Decimals : 0);
  if (length > Width) return 0;
  auto digitAt = [&](int Power) {
    const int k = n - 1 + exponent - Power;
    return k >= 0 && k < n ? digits[k] : '0';
  };
  char* p = Out;
  if (negative) *p++ = '-';
  if (intDigits == 0) *p++ = '0';
  for (int power = intDigits - 1; power >= 0; --power) *p++ = digitAt(power);
  if (Decimals > 0) {
    *p++ = '.';
    for (int power = -1; power >= -Decimals; --power) *p++ = digitAt(power);
  }
  return static_cast<std::size_t>(p - Out);
}

// ---- The writer ----------------------------------------------------------------------

class TDbfWriter final : public TTableFileWriter {
public:
  TDbfWriter(const std::string& Path, std::vector<TColumn> Columns, TDbfFlavour Flavour, int RecordLength,
             int HeaderLength);
  void Append(const std::vector<TCell>& Cells) override;
  void Finish() override;

private:
  struct TPendingMemo {
    const TColumn* Column;
    char* Field;            // the block number's place in the record
    std::string_view Text;
  };

  // The table's first 32 bytes, and the field descriptors that follow them.
  void WriteHeader(char* Header, std::uint32_t Records) const;
  void WriteDescriptors(char* Descriptors) const;
  // The memo file's first block; First: not yet written.
  void WriteMemoHeader(bool First);
  // Writes a memo value and returns its first block.
  std::uint32_t WriteMemo(const TColumn& Column, std::string_view Text);
  void CheckUsable() const;
  void MoveIntoPlace();

  std::string FPath;
  std::vector<TColumn> FColumns;
  TDbfFlavour FFlavour;
  int FRecordLength;
  int FHeaderLength;
  bool FHasMemo = false;
  TOutFile FTable;
  std::optional<TOutFile> FMemo;
  std::vector<std::string> FOtherMemoNames;  // memo files of an older table to remove once replaced
  std::vector<TPendingMemo> FPending;         // reused for every record
  std::uint32_t FRecords = 0;                  // records written
  std::uint64_t FAppends = 0;                  // Append calls, for messages
  std::uint32_t FNextBlock = 0;                // the memo file's next free block
  bool FFailed = false;                        // a write failed: the files are incomplete
  bool FFinished = false;
};

// The memo file names beside Path: the extension's case follows the table's.
std::string MemoName(const std::string& Path, const char* Lower) {
  const std::string ext = ExtractFileExt(Path);
  bool upper = ext.size() > 1;
  for (char ch : ext) upper = upper && !(ch >= 'a' && ch <= 'z');
  return ChangeFileExt(Path, upper ? UpperCase(Lower) : std::string(Lower));
}

TDbfWriter::TDbfWriter(const std::string& Path, std::vector<TColumn> Columns, TDbfFlavour Flavour,
                       int RecordLength, int HeaderLength)
    : FPath(Path), FColumns(std::move(Columns)), FFlavour(Flavour), FRecordLength(RecordLength),
      FHeaderLength(HeaderLength), FTable(Path) {
  for (const TColumn& c : FColumns) FHasMemo = FHasMemo || c.Kind == TKind::Memo;
  const std::string dbt = MemoName(Path, ".dbt"), fpt = MemoName(Path, ".fpt");
  const bool fox = Flavour == TDbfFlavour::FoxPro;
  if (FHasMemo) {
    FMemo.emplace(fox ? fpt : dbt);
    FOtherMemoNames.push_back(fox ? dbt : fpt);
    FPending.reserve(FColumns.size());
    FNextBlock = fox ? FptHeaderBlocks : 1;
    WriteMemoHeader(true);
  } else {
    FOtherMemoNames = {dbt, fpt};
  }
  // The header with no records yet; Finish writes the count.
  const std::size_t length = static_cast<std::size_t>(HeaderLength);
  std::unique_ptr<char[]> header(new char[length]());
  WriteHeader(header.get(), 0);
  WriteDescriptors(header.get() + 32);
  FTable.Write(header.get(), length);
}

void TDbfWriter::WriteHeader(char* H, std::uint32_t Records) const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const bool fox = FFlavour == TDbfFlavour::FoxPro;
  H[0] = static_cast<char>(!FHasMemo ? 0x03 : fox ? 0xF5 : 0x83);
  H[1] = static_cast<char>(std::min(local.tm_year, 255));   // years since 1900
  H[2] = static_cast<char>(local.tm_mon + 1);
  H[3] = static_cast<char>(local.tm_mday);
  PutLE32(H + 4, Records);
  PutLE16(H + 8, static_cast<std::uint32_t>(FHeaderLength));
  PutLE16(H + 10, static_cast<std::uint32_t>(FRecordLength));
  H[29] = static_cast<char>(CodePage437);
}

void TDbfWriter::WriteDescriptors(char* d) const {
  const bool fox = FFlavour == TDbfFlavour::FoxPro;
  for (const TColumn& c : FColumns) {
    std::memcpy(d, c.Name, 11);
    d[11] = c.Type;
    // FoxPro keeps the field's place in the record here; dBASE leaves it zero.
    if (fox) PutLE32(d + 12, static_cast<std::uint32_t>(c.Offset));
    d[16] = static_cast<char>(c.Width);
    d[17] = static_cast<char>(c.Decimals);
    d += 32;
  }
  *d = 0x0D;
}

void TDbfWriter::WriteMemoHeader(bool First) {
  char h[512] = {};
  if (FFlavour == TDbfFlavour::FoxPro) {
    PutBE32(h, FNextBlock);
    h[6] = static_cast<char>(FptBlockSize >> 8);
    h[7] = static_cast<char>(FptBlockSize & 0xFF);
  } else {
    PutLE32(h, FNextBlock);
    h[16] = 0x03;   // dBASE III memo file
  }
  if (First) FMemo->Write(h, sizeof h);
  else FMemo->WriteAt(0, h, sizeof h);
}

std::uint32_t TDbfWriter::WriteMemo(const TColumn& Column, std::string_view Text) {
  const bool fox = FFlavour == TDbfFlavour::FoxPro;
  const std::uint64_t blockSize = fox ? FptBlockSize : DbtBlockSize;
  const std::uint64_t stored = Text.size() + (fox ? 8 : 2);   // FoxPro: type and length first; dBASE: 0x1A 0x1A after
  const std::uint64_t blocks = (stored + blockSize - 1) / blockSize;
  if (FNextBlock + blocks > 0xFFFFFFFFull)
    Reject(Column, FAppends, "a memo of " + std::to_string(Text.size()) + " bytes",
           "does not fit: the memo file " + FMemo->FinalName() + " is full");
  const std::uint32_t first = FNextBlock;
  if (fox) {
    char h[8];
    PutBE32(h, 1);   // text
    PutBE32(h + 4, static_cast<std::uint32_t>(Text.size()));
    FMemo->Write(h, sizeof h);
    FMemo->Write(Text.data(), Text.size());
  } else {
    FMemo->Write(Text.data(), Text.size());
    FMemo->Write("\x1A\x1A", 2);
  }
  FMemo->Fill(0, static_cast<std::size_t>(blocks * blockSize - stored));
  FNextBlock = static_cast<std::uint32_t>(FNextBlock + blocks);
  return first;
}

void TDbfWriter::CheckUsable() const {
  if (FFinished) throw EDatabaseError("Table " + FPath + " is already finished");
  if (FFailed)
    throw EInOutError("Cannot write " + FPath + ": an earlier write to the table failed", 0);
}

void TDbfWriter::Append(const std::vector<TCell>& Cells) {
  CheckUsable();
  ++FAppends;
  if (Cells.size() != FColumns.size())
    throw EDatabaseError("Table " + FPath + ", record " + std::to_string(FAppends) + ": " +
                         std::to_string(Cells.size()) + " values for " + std::to_string(FColumns.size()) +
                         " fields");
  if (FRecords == 0xFFFFFFFFu) throw EDatabaseError("Table " + FPath + " cannot hold more records");
  try {
    // The record is made in place in the output buffer and taken only when
    // every value fits; memos are written last, once nothing can be rejected.
    char* rec = FTable.Reserve(static_cast<std::size_t>(FRecordLength));
    rec[0] = ' ';
    FPending.clear();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      const TColumn& c = FColumns[i];
      const TCell& cell = Cells[i];
      char* p = rec + c.Offset;
      if (cell.Null) {
        // No NULL in the format: blanks, which readers take as no value
        // (numbers, dates, logicals) or an empty text.
        std::memset(p, ' ', static_cast<std::size_t>(c.Width));
        continue;
      }
      switch (c.Kind) {
        case TKind::Char: {
          const std::string_view t = cell.Text;
          if (static_cast<std::int64_t>(t.size()) > c.MaxLength)
            Reject(c, FAppends, Quoted(t), "is longer than the field's " + std::to_string(c.MaxLength) + " characters");
          // Readers drop the blanks around a character column's text, and
          // some stop at a zero byte.
          if (!t.empty() && (t.front() == ' ' || t.back() == ' '))
            Reject(c, FAppends, Quoted(t), "begins or ends with a space, which a character column does not keep");
          if (t.find('\0') != std::string_view::npos)
            Reject(c, FAppends, Quoted(t), "contains a zero byte, which a character column does not keep");
          std::memcpy(p, t.data(), t.size());
          std::memset(p + t.size(), ' ', static_cast<std::size_t>(c.Width) - t.size());
          break;
        }
        case TKind::Integer: {
          char buf[24];
          const auto r = std::to_chars(buf, buf + sizeof buf, cell.Int);
          const auto n = static_cast<std::size_t>(r.ptr - buf);
          if (n > static_cast<std::size_t>(c.Width))
            Reject(c, FAppends, std::string(buf, n),
                   "does not fit a numeric column of " + std::to_string(c.Width) + " characters");
          PutRight(p, c.Width, buf, n);
          break;
        }
        case TKind::Float: {
          char buf[32];
          const std::size_t n = DoubleToText(cell.Float, buf, c.Width);
          if (n == 0)
            Reject(c, FAppends, DoubleText(cell.Float),
                   std::isfinite(cell.Float)
                       ? "needs more than the " + std::to_string(c.Width) + " characters of a numeric column"
                       : std::string("is not a number a numeric column can hold"));
          PutRight(p, c.Width, buf, n);
          break;
        }
        case TKind::Decimal: {
          char buf[32];
          const std::string fromFloat = cell.Text.empty() ? DoubleText(cell.Float) : std::string();
          const std::string_view text = cell.Text.empty() ? std::string_view(fromFloat) : cell.Text;
          const std::size_t n = DecimalToText(text, c.Decimals, buf, c.Width);
          if (n == 0)
            Reject(c, FAppends, Quoted(text),
                   "does not fit a numeric column of " + std::to_string(c.Width) + " characters with " +
                       std::to_string(c.Decimals) + " decimal places and " + std::to_string(ExactDigits) +
                       " significant digits");
          PutRight(p, c.Width, buf, n);
          break;
        }
        case TKind::Logical: *p = cell.Bool ? 'T' : 'F'; break;
        case TKind::Date:
          if (!ValidDate(cell.Date)) Reject(c, FAppends, DateText(cell.Date), "is not a date of the years 1 to 9999");
          PutDigits(p, 4, cell.Date.Year);
          PutDigits(p + 4, 2, cell.Date.Month);
          PutDigits(p + 6, 2, cell.Date.Day);
          break;
        case TKind::Time:
          if (cell.TimeMs < 0 || cell.TimeMs >= MsPerDay)
            Reject(c, FAppends, TimeText(cell.TimeMs), "is not a time of day");
          PutTime(p, cell.TimeMs);
          break;
        case TKind::DateTime:
          if (!ValidDate(cell.Date) || cell.TimeMs < 0 || cell.TimeMs >= MsPerDay)
            Reject(c, FAppends, DateText(cell.Date) + ", " + TimeText(cell.TimeMs),
                   "is not a date and time of the years 1 to 9999");
          PutDigits(p, 4, cell.Date.Year);
          p[4] = '-';
          PutDigits(p + 5, 2, cell.Date.Month);
          p[7] = '-';
          PutDigits(p + 8, 2, cell.Date.Day);
          p[10] = ' ';
          PutTime(p + 11, cell.TimeMs);
          break;
        case TKind::Memo: {
          const std::string_view t = cell.Text;
          if (c.MaxLength >= 0 && static_cast<std::int64_t>(t.size()) > c.MaxLength)
            Reject(c, FAppends, Quoted(t), "is longer than the field's " + std::to_string(c.MaxLength) + " characters");
          if (FFlavour == TDbfFlavour::DBase &&
              (t.find("\x1A\x1A") != std::string_view::npos || (!t.empty() && t.back() == '\x1A')))
            Reject(c, FAppends, Quoted(t),
                   "contains the end mark of a dBASE memo (0x1A 0x1A, or ends with 0x1A); a FoxPro table holds it");
          if (FFlavour == TDbfFlavour::FoxPro && t.size() > 0xFFFFFFFFu - 8)
            Reject(c, FAppends, Quoted(t), "is longer than a memo holds");
          std::memset(p, ' ', static_cast<std::size_t>(c.Width));
          if (!t.empty()) FPending.push_back({&c, p, t});   // an empty memo has no block, as NULL
          break;
        }
      }
    }
    for (const TPendingMemo& m : FPending) {
      const std::uint32_t block = WriteMemo(*m.Column, m.Text);
      char buf[12];
      const auto r = std::to_chars(buf, buf + sizeof buf, block);
      PutRight(m.Field, MemoRefWidth, buf, static_cast<std::size_t>(r.ptr - buf));
    }
    FTable.Commit(static_cast<std::size_t>(FRecordLength));
    ++FRecords;
  } catch (const EInOutError&) {
    FFailed = true;
    throw;
  }
}

void TDbfWriter::Finish() {
  CheckUsable();
  try {
    if (FMemo) {
      FMemo->Flush();
      WriteMemoHeader(false);
      FMemo->Close();
    }
    FTable.Write("\x1A", 1);
    FTable.Flush();
    char head[32] = {};
    WriteHeader(head, FRecords);
    FTable.WriteAt(0, head, 32);
    FTable.Close();
    MoveIntoPlace();
  } catch (const EInOutError&) {
    FFailed = true;
    throw;
  }
  FFinished = true;
}

// Moves the memo file, then the table into place (see MoveTableIntoPlace),
// and removes memo files of the other flavour that the older table left.
void TDbfWriter::MoveIntoPlace() {
  MoveTableIntoPlace(FMemo ? FMemo->FinalName() : std::string(),
                     FMemo ? std::function<void()>([this] { FMemo->MoveIntoPlace(); }) : nullptr,
                     [this] { FTable.MoveIntoPlace(); });
  for (const std::string& name : FOtherMemoNames) unlink(name.c_str());
}

}  // namespace

std::unique_ptr<TTableFileWriter> CreateDbfWriter(const std::string& Path, const std::vector<TTableFieldDef>& Fields,
                                                  TDbfFlavour Flavour) {
  if (Fields.empty()) throw EDatabaseError("Table " + Path + ": a dBASE table needs at least one field");
  std::vector<TColumn> columns;
  columns.reserve(Fields.size());
  int offset = 1;   // after the deletion flag
  for (const TTableFieldDef& f : Fields) {
    columns.push_back(ColumnFor(f));
    columns.back().Offset = offset;
    offset += columns.back().Width;
  }
  AssignNames(Fields, columns);
  const std::size_t header = 32 + 32 * Fields.size() + 1;
  if (header > 0xFFFF || offset > 0xFFFF)
    throw EDatabaseError("Table " + Path + ": " + std::to_string(Fields.size()) + " fields of " +
                         std::to_string(offset) + " bytes a record do not fit a dBASE table");
  return std::make_unique<TDbfWriter>(Path, std::move(columns), Flavour, offset, static_cast<int>(header));
}

}  // namespace vcl::detail
