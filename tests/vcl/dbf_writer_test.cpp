// dBASE writer: tables read back through two independent readers
// (python3-dbf, and GDAL through its Python bindings), the values and
// definitions the format cannot hold, and what is left on disk when writing
// fails. Every test runs for both flavours.
//
// GDAL is asked through its bindings rather than ogrinfo because ogrinfo
// prints a Real with the column's declared decimals ("%.10f"), which cannot
// show whether the double it read is the one written (1e-300 prints as
// 0.0000000000). GDAL does not read memo files: it shows a memo column's
// block number, so memo values are checked through python3-dbf alone.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "Decoders.h"
#include "TableCells.h"
#include "TableFormats.h"

using namespace vcl;
using namespace vcl::detail;
namespace fs = std::filesystem;

namespace {

// ---- The readers ------------------------------------------------------------------
//
// Both print the same lines:
//   codepage NAME
//   field NAME TYPE WIDTH DECIMALS
//   record TOKEN<tab>TOKEN...
// with a token per value: null, i:INT, f:REPR, b:T/F, d:YYYY-MM-DD, or
// s:TEXT for text (bytes as the table's code page gives them back, printable
// ASCII as it is and other bytes as \xNN). A character column's padding is
// dropped; a memo's text is shown whole.

constexpr const char* DbfReader = R"(
import datetime, sys
import dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
cp = str(t.codepage).split()[0]
print('codepage', cp)
def show(b):
    return ''.join(chr(c) if 32 <= c < 127 and c != 92 else '\\x%02x' % c for c in b)
kinds = []
for name in t.field_names:
    kind, width, decimals = t.field_info(name)[:3]
    kinds.append(chr(kind))
    print('field', name, chr(kind), width, decimals)
for r in t:
    out = []
    for kind, v in zip(kinds, r):
        if v is None: out.append('null')
        elif isinstance(v, bool): out.append('b:' + 'FT'[v])
        elif isinstance(v, int): out.append('i:%d' % v)
        elif isinstance(v, float): out.append('f:' + repr(v))
        elif isinstance(v, str): out.append('s:' + show((v.rstrip(' ') if kind == 'C' else v).encode(cp)))
        elif isinstance(v, datetime.date): out.append('d:' + v.isoformat())
        else: out.append('?' + repr(v))
    print('record', '\t'.join(out))
t.close()
)";

constexpr const char* GdalReader = R"(
import sys
from osgeo import gdal, ogr
gdal.UseExceptions()
gdal.PushErrorHandler(lambda cls, no, msg: print('complaint', msg.replace('\n', ' ')))
ds = ogr.Open(sys.argv[1])
layer = ds.GetLayer(0)
cp = layer.GetMetadataItem('SOURCE_ENCODING', 'SHAPEFILE') or ''
print('codepage', cp)
def show(b):
    return ''.join(chr(c) if 32 <= c < 127 and c != 92 else '\\x%02x' % c for c in b)
d = layer.GetLayerDefn()
types = []
for i in range(d.GetFieldCount()):
    f = d.GetFieldDefn(i)
    types.append(f.GetType())
    print('field', f.GetName(), f.GetTypeName(), f.GetWidth(), f.GetPrecision())
for feature in layer:
    out = []
    for i, t in enumerate(types):
        if not feature.IsFieldSetAndNotNull(i): out.append('null')
        elif t in (ogr.OFTInteger, ogr.OFTInteger64): out.append('i:%d' % feature.GetFieldAsInteger64(i))
        elif t == ogr.OFTReal: out.append('f:' + repr(feature.GetFieldAsDouble(i)))
        elif t == ogr.OFTDate: out.append('d:%04d-%02d-%02d' % tuple(feature.GetFieldAsDateTime(i)[:3]))
        else: out.append('s:' + show(feature.GetFieldAsString(i).encode(cp or 'latin-1')))
    print('record', '\t'.join(out))
)";

// Runs /usr/bin/python3 on Script with File as its argument. Standard error
// goes with the output, so a reader's complaint breaks the comparison.
std::string RunReader(const char* Script, const std::string& File) {
  const std::vector<std::string> args = {"/usr/bin/python3", "-W", "ignore", "-c", Script, File};
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    dup2(fds[1], STDERR_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "exit status " + std::to_string(status) + "\n";
  return out;
}

std::vector<std::string> Split(const std::string& S, char Sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(S);
  while (std::getline(in, part, Sep)) parts.push_back(part);
  return parts;
}

// Tokens compare as text, but "f:" tokens as doubles, bit for bit (so -0.0
// is not 0.0), and an expected "*" matches any token.
bool SameToken(const std::string& Expected, const std::string& Actual) {
  if (Expected == "*" || Expected == Actual) return true;
  if (Expected.rfind("f:", 0) != 0 || Actual.rfind("f:", 0) != 0) return false;
  const double a = std::strtod(Expected.c_str() + 2, nullptr), b = std::strtod(Actual.c_str() + 2, nullptr);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectOutput(const char* Reader, const std::string& Output, const std::vector<std::string>& Expected) {
  const std::vector<std::string> lines = Split(Output, '\n');
  ASSERT_EQ(lines.size(), Expected.size()) << Reader << " printed:\n" << Output;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::string> want = Split(Expected[i], '\t'), got = Split(lines[i], '\t');
    bool same = want.size() == got.size();
    for (std::size_t k = 0; same && k < want.size(); ++k) same = SameToken(want[k], got[k]);
    EXPECT_TRUE(same) << Reader << ", line " << i + 1 << "\n  expected: " << Expected[i] << "\n  got:      " << lines[i];
  }
}

// ---- Expected values ------------------------------------------------------------------

std::string Shown(std::string_view Bytes) {
  std::string s;
  for (unsigned char c : Bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      s += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      s += hex;
    }
  }
  return s;
}

std::string RealToken(double D) {
  char buf[32];
  return "f:" + std::string(buf, std::to_chars(buf, buf + sizeof buf, D).ptr);
}

std::string DateToken(const TDateValue& D) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", D.Year, D.Month, D.Day);
  return buf;
}

std::string TimeToken(std::int32_t Ms) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", Ms / 3600000, Ms / 60000 % 60, Ms / 1000 % 60, Ms % 1000);
  return buf;
}

bool IsMemo(const TTableFieldDef& F) {
  return F.DataType == ftMemo || F.DataType == ftBlob || (F.DataType == ftString && F.Size > 254);
}

// What each reader gives back for a value. The format has no NULL: text
// columns come back empty from python3-dbf and null from GDAL (which shows an
// empty text as null too); other columns come back null from both.
std::string Token(const TTableFieldDef& F, const TCell& C, bool Gdal) {
  if (Gdal && IsMemo(F)) return "*";
  switch (F.DataType) {
    case ftString: case ftMemo: case ftBlob:
      if (Gdal) return C.Null || C.Text.empty() ? "null" : "s:" + Shown(C.Text);
      return "s:" + (C.Null ? std::string() : Shown(C.Text));
    case ftTime:
      if (C.Null) return Gdal ? "null" : "s:";
      return "s:" + TimeToken(C.TimeMs);
    case ftDateTime:
      if (C.Null) return Gdal ? "null" : "s:";
      return "s:" + DateToken(C.Date) + " " + TimeToken(C.TimeMs);
    default: break;
  }
  if (C.Null) return "null";
  switch (F.DataType) {
    case ftFloat: case ftCurrency: return RealToken(C.Float);
    case ftBCD:   // python3-dbf reads a column without decimals as an integer
      return F.Size == 0 && !Gdal ? "i:" + std::to_string(static_cast<std::int64_t>(C.Float)) : RealToken(C.Float);
    case ftBoolean: return std::string(Gdal ? "s:" : "b:") + (C.Bool ? "T" : "F");
    case ftDate: return "d:" + DateToken(C.Date);
    default: return "i:" + std::to_string(C.Int);
  }
}

// ---- Cells: tests/support/TableCells.h

using namespace tolvane::test;

std::string Bytes(int First, int Last) {
  std::string s;
  for (int b = First; b <= Last; ++b) s += static_cast<char>(b);
  return s;
}

// ---- Files ------------------------------------------------------------------------------

std::string ReadAll(const fs::path& P) {
  std::ifstream in(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& P, const std::string& Bytes) {
  std::ofstream(P, std::ios::binary) << Bytes;
}

std::uint32_t LE(const std::string& B, std::size_t At, int Count) {
  std::uint32_t v = 0;
  for (int i = Count - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(B[At + i]);
  return v;
}
std::uint32_t BE(const std::string& B, std::size_t At, int Count) {
  std::uint32_t v = 0;
  for (int i = 0; i < Count; ++i) v = v << 8 | static_cast<unsigned char>(B[At + i]);
  return v;
}

const char* FlavourName(TDbfFlavour F) { return F == TDbfFlavour::DBase ? "DBase" : "FoxPro"; }

class DbfTables : public ::testing::TestWithParam<TDbfFlavour> {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("dbf-") + info->name();
    std::replace(name.begin(), name.end(), '/', '-');
    Dir = fs::path(tolvane::test::TestTempDir()) / name;
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(Dir);
  }

  TDbfFlavour Flavour() const { return GetParam(); }
  bool Fox() const { return GetParam() == TDbfFlavour::FoxPro; }
  std::string MemoExt() const { return Fox() ? ".fpt" : ".dbt"; }

  // The names in the test's directory.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void Write(const fs::path& P, const std::vector<TTableFieldDef>& Fields, const std::vector<std::vector<TCell>>& Rows) {
    auto w = CreateDbfWriter(P.string(), Fields, Flavour());
    for (const auto& row : Rows) w->Append(row);
    w->Finish();
  }

  // What readers do not check but a program updating the table relies on:
  // the version byte, the date, the record count and lengths, the end marks,
  // and the memo file's next free block.
  void ExpectWellFormed(const fs::path& P, bool HasMemo, std::uint32_t Records) {
    const std::string b = ReadAll(P);
    ASSERT_GE(b.size(), 34u);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), !HasMemo ? 0x03 : Fox() ? 0xF5 : 0x83);
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), t.tm_year);   // years since 1900
    EXPECT_EQ(static_cast<unsigned char>(b[2]), t.tm_mon + 1);
    EXPECT_EQ(static_cast<unsigned char>(b[3]), t.tm_mday);
    EXPECT_EQ(LE(b, 4, 4), Records);
    const std::uint32_t header = LE(b, 8, 2), record = LE(b, 10, 2);
    EXPECT_EQ(b.size(), header + std::size_t{Records} * record + 1);
    EXPECT_EQ(b[header - 1], '\x0D');
    EXPECT_EQ(b.back(), '\x1A');
    const fs::path memo = fs::path(P).replace_extension(MemoExt());
    ASSERT_EQ(fs::exists(memo), HasMemo);
    if (!HasMemo) return;
    const std::string m = ReadAll(memo);
    ASSERT_GE(m.size(), 512u);
    const std::uint64_t end = Fox() ? std::uint64_t{BE(m, 0, 4)} * BE(m, 6, 2) : std::uint64_t{LE(m, 0, 4)} * 512;
    EXPECT_EQ(end, m.size()) << "next free block";
  }

  // Expected reader lines of a table.
  std::vector<std::string> Expected(bool Gdal, const std::vector<TTableFieldDef>& Fields,
                                    const std::vector<std::string>& FieldLines,
                                    const std::vector<std::vector<TCell>>& Rows) const {
    std::vector<std::string> lines = {Gdal ? "codepage CP437" : "codepage cp437"};
    for (const std::string& f : FieldLines) lines.push_back("field " + f);
    for (const auto& row : Rows) {
      std::string line = "record ";
      for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + Token(Fields[i], row[i], Gdal);
      lines.push_back(line);
    }
    return lines;
  }

  fs::path Dir;
};

INSTANTIATE_TEST_SUITE_P(Dbf, DbfTables, ::testing::Values(TDbfFlavour::DBase, TDbfFlavour::FoxPro),
                         [](const auto& Info) { return std::string(FlavourName(Info.param)); });

// ---- Every type, through both readers -----------------------------------------------------

struct TColumnCase {
  TTableFieldDef Def;
  const char* Dbf;    // python3-dbf: name, type letter, width, decimals
  const char* Gdal;   // GDAL: name, type, width, precision
};

const std::vector<TColumnCase> EveryType = {
    {{"NAME", ftString, 12}, "name C 12 0", "NAME String 12 0"},
    {{"NOTE", ftString, 254}, "note C 254 0", "NOTE String 254 0"},          // the widest character column
    {{"LONGTEXT", ftString, 300}, "longtext M 10 0", "LONGTEXT String 10 0"},// too wide: a memo
    {{"SMALL", ftSmallint}, "small N 6 0", "SMALL Integer 6 0"},
    {{"WORD", ftWord}, "word N 5 0", "WORD Integer 5 0"},
    {{"INT", ftInteger}, "int N 11 0", "INT Integer64 11 0"},
    {{"AUTO", ftAutoInc}, "auto N 11 0", "AUTO Integer64 11 0"},
    {{"BIG", ftLargeint}, "big N 18 0", "BIG Integer64 18 0"},
    {{"REAL", ftFloat}, "real N 20 10", "REAL Real 20 10"},
    {{"MONEY", ftCurrency}, "money N 20 4", "MONEY Real 20 4"},
    {{"DECIMAL", ftBCD, 2}, "decimal N 20 2", "DECIMAL Real 20 2"},
    {{"WHOLE", ftBCD, 0}, "whole N 20 0", "WHOLE Real 20 0"},
    {{"FLAG", ftBoolean}, "flag L 1 0", "FLAG String 1 0"},
    {{"DAY", ftDate}, "day D 8 0", "DAY Date 10 0"},
    {{"CLOCK", ftTime}, "clock C 12 0", "CLOCK String 12 0"},
    {{"STAMP", ftDateTime}, "stamp C 23 0", "STAMP String 23 0"},
    {{"MEMO", ftMemo}, "memo M 10 0", "MEMO String 10 0"},
    {{"BLOB", ftBlob}, "blob M 10 0", "BLOB String 10 0"},
};

TEST_P(DbfTables, EveryTypeReadsBackInBothReaders) {
  const std::string eightBit = "\x80\x81\xE9\xFF" "abcdefgh";           // exactly 12 bytes
  const std::string note254(254, 'n');
  const std::string longText = "  " + std::string(296, 'L') + "  ";   // 300, blanks kept in a memo
  const std::string printable = Bytes(0x21, 0x7E) + Bytes(0x80, 0xFF);
  const std::string controls = "\x01\x7F\tz";
  const std::string memo1500(1500, 'm');
  const std::string allBytes = Bytes(0, 255);                          // one 0x1A, not at the end
  const std::string blob3("\x00\x01\xFF", 3);
  const std::vector<std::vector<TCell>> rows = {
      // Everyday values.
      {Text("Ann Smith"), Text("note"), Text("twenty characters..."), Int(12), Int(7), Int(100000), Int(1),
       Int(1234567890123), Real(0.1), Real(12.34), Bcd("123.45", 123.45), Bcd("42", 42), Bool(true),
       Date(2024, 2, 29), Time(47109250), Stamp(2024, 2, 29, 47109250), Text("line 1\r\nline 2"), Text(blob3)},
      // The largest values of each column, 8-bit text of exactly the field's size.
      {Text(eightBit), Text(note254), Text(longText), Int(32767), Int(65535), Int(2147483647), Int(2147483647),
       Int(999999999999999999), Real(1.2345678901234568e20), Real(922337203685477.5807),
       Bcd("9999999999999.99", 9999999999999.99), Bcd("999999999999999", 999999999999999.0), Bool(false),
       Date(9999, 12, 31), Time(86399999), Stamp(9999, 12, 31, 86399999), Text(memo1500), Text(allBytes)},
      // The smallest ones, control characters and empty texts.
      {Text(controls), Text(printable), Text(""), Int(-32768), Int(0), Int(-2147483648LL), Int(0),
       Int(-99999999999999999), Real(1e-300), Real(-0.0001), Bcd("-0.01", -0.01), Bcd("-999999999999999", -999999999999999.0),
       Bool(true), Date(1, 1, 1), Time(0), Stamp(1, 1, 1, 0), Text(""), Text("")},
      // Doubles that take all their digits or an exponent; BCD text in exponent form,
      // with more places than the column (zeros) and more digits (zeros).
      {Text("x"), Text("y"), Text("z"), Int(-1), Int(1), Int(-1), Int(2), Int(-1), Real(-0.0), Real(1.0 / 3),
       Bcd("-0.50", -0.5), Bcd("1.5e3", 1500), Bool(false), Date(1900, 1, 1), Time(1), Stamp(2000, 1, 1, 1),
       Text("a"), Text("b")},
      {Text("x"), Text("y"), Text("z"), Int(0), Int(0), Int(0), Int(3), Int(0), Real(5e-324), Real(0.30000000000000004),
       Bcd("0.000", 0), Bcd("1e14", 1e14), Bool(true), Date(2000, 2, 29), Time(43200000), Stamp(1970, 1, 1, 0),
       Text("c"), Text("d")},
      {Text("x"), Text("y"), Text("z"), Int(0), Int(0), Int(0), Int(4), Int(0), Real(1.234567890123456e-5),
       Real(1e308), Bcd("0.0100000000000000000000000", 0.01), Bcd("1", 1), Bool(true), Date(2000, 1, 1), Time(0), Stamp(1, 1, 1, 0),
       Text("c"), Text("d")},
      // Nothing but NULL.
      std::vector<TCell>(EveryType.size(), Null()),
  };
  std::vector<TTableFieldDef> fields;
  std::vector<std::string> dbfFields, gdalFields;
  for (const TColumnCase& c : EveryType) {
    fields.push_back(c.Def);
    dbfFields.push_back(c.Dbf);
    gdalFields.push_back(c.Gdal);
  }

  // The table, and one with the same fields and no records.
  for (const auto& table : {rows, std::vector<std::vector<TCell>>{}}) {
    SCOPED_TRACE(table.empty() ? "empty table" : "table with records");
    const fs::path path = Dir / (table.empty() ? "empty.dbf" : "every.dbf");
    Write(path, fields, table);
    ExpectWellFormed(path, true, static_cast<std::uint32_t>(table.size()));
    ExpectOutput("python3-dbf", RunReader(DbfReader, path.string()), Expected(false, fields, dbfFields, table));
    ExpectOutput("GDAL", RunReader(GdalReader, path.string()), Expected(true, fields, gdalFields, table));
  }
  EXPECT_EQ(Listing(), (std::vector<std::string>{"empty.dbf", "empty" + MemoExt(), "every.dbf", "every" + MemoExt()}));
}

// ---- Memos --------------------------------------------------------------------------------

TEST_P(DbfTables, MemosReadBackExactly) {
  std::vector<std::string> values = {
      "short",
      std::string(56, 'a'), std::string(57, 'b'),      // a FoxPro block (64) holds 8 header bytes and 56
      std::string(510, 'c'), std::string(511, 'd'),    // a dBASE block (512) holds 510 and the end mark
      std::string(1500, 'e') + "  ",                   // several blocks, blanks at the end kept
      "a\x1A" "b",                                      // a single 0x1A inside
      Bytes(0, 255),
  };
  if (Fox()) {
    // A FoxPro memo has its length in front: the dBASE end mark is an ordinary value there.
    values.insert(values.end(), {"a\x1A\x1A" "b", "end\x1A", "\x1A"});
  }
  const std::vector<TTableFieldDef> fields = {{"N", ftInteger}, {"TEXT", ftMemo}};
  std::vector<std::vector<TCell>> rows;
  for (std::size_t i = 0; i < values.size(); ++i) rows.push_back({Int(static_cast<std::int64_t>(i)), Text(values[i])});
  rows.push_back({Int(98), Text("")});
  rows.push_back({Int(99), Null()});
  const fs::path path = Dir / "memo.dbf";
  Write(path, fields, rows);
  ExpectWellFormed(path, true, static_cast<std::uint32_t>(rows.size()));
  ExpectOutput("python3-dbf", RunReader(DbfReader, path.string()),
               Expected(false, fields, {"n N 11 0", "text M 10 0"}, rows));
}

// ---- Values a column cannot hold ------------------------------------------------------------

struct TRejectCase {
  TTableFieldDef Def;
  TCell Value;
  const char* Shown;     // how the message shows the value
  bool DBaseOnly = false;
};

TEST_P(DbfTables, ValueItCannotHoldRaisesAndLeavesTheOlderTable) {
  const std::string text301(301, 't');
  const TRejectCase cases[] = {
      {{"NAME", ftString, 5}, Text("abcdef"), "'abcdef'"},                 // longer than its size
      {{"NAME", ftString, 5}, Text(" ab"), "' ab'"},                       // readers drop leading blanks
      {{"NAME", ftString, 5}, Text("ab "), "'ab '"},                       // ... and trailing ones
      {{"NAME", ftString, 5}, Text(std::string_view("a\0b", 3)), "'a\\x00b'"},  // GDAL stops at a zero byte
      {{"LONG", ftString, 300}, Text(text301), "(301 bytes)"},              // a string's memo keeps its size
      {{"SMALL", ftSmallint}, Int(1000000), "1000000"},                     // beyond N(6)
      {{"BIG", ftLargeint}, Int(std::numeric_limits<std::int64_t>::max()), "9223372036854775807"},
      {{"BIG", ftLargeint}, Int(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
      {{"BIG", ftLargeint}, Int(-100000000000000000), "-100000000000000000"},   // 19 characters
      {{"REAL", ftFloat}, Real(DBL_MAX), "1.7976931348623157e+308"},        // 21 characters at best
      {{"REAL", ftFloat}, Real(-1.2345678901234568e-5), "-1.2345678901234568e-05"},
      {{"REAL", ftFloat}, Real(std::nan("")), "nan"},
      {{"REAL", ftFloat}, Real(-HUGE_VAL), "-inf"},
      {{"DEC", ftBCD, 2}, Bcd("1.234", 1.234), "'1.234'"},                  // more places than the column
      {{"DEC", ftBCD, 2}, Bcd("12345678901234.56", 12345678901234.56), "'12345678901234.56'"},  // 16 digits
      {{"DEC", ftBCD, 2}, Bcd("12abc", 12), "'12abc'"},
      {{"DAY", ftDate}, Date(0, 1, 1), "0000-01-01"},
      {{"DAY", ftDate}, Date(10000, 1, 1), "10000-01-01"},
      {{"DAY", ftDate}, Date(2023, 2, 29), "2023-02-29"},
      {{"CLOCK", ftTime}, Time(86400000), "86400000 ms"},
      {{"STAMP", ftDateTime}, Stamp(2024, 13, 1, 0), "2024-13-01"},
      {{"MEMO", ftMemo}, Text("a\x1A\x1A" "b"), "'a\\x1A\\x1Ab'", true},    // the dBASE memo end mark
      {{"MEMO", ftMemo}, Text("end\x1A"), "'end\\x1A'", true},               // would run into it
  };
  const std::string oldTable = "older table", oldMemo = "older memo";
  WriteAll(Dir / "t.dbf", oldTable);
  WriteAll(Dir / ("t" + MemoExt()), oldMemo);
  for (const TRejectCase& c : cases) {
    if (c.DBaseOnly && Fox()) continue;
    SCOPED_TRACE(c.Def.Name + " " + c.Shown);
    try {
      auto w = CreateDbfWriter((Dir / "t.dbf").string(), {{"ID", ftInteger}, c.Def}, Flavour());
      w->Append({Int(1), Null()});
      w->Append({Int(2), c.Value});
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
      const std::string m = e.Message();
      EXPECT_NE(m.find("'" + c.Def.Name + "'"), std::string::npos) << m;
      EXPECT_NE(m.find("record 2"), std::string::npos) << m;
      EXPECT_NE(m.find(c.Shown), std::string::npos) << m;
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"t.dbf", "t" + MemoExt()}));
    EXPECT_EQ(ReadAll(Dir / "t.dbf"), oldTable);
    EXPECT_EQ(ReadAll(Dir / ("t" + MemoExt())), oldMemo);
  }
}

// ---- Definitions it cannot store, and names it shortens --------------------------------------

TEST_P(DbfTables, DefinitionItCannotStoreRaises) {
  const struct {
    std::vector<TTableFieldDef> Fields;
    const char* Named;   // in the message
  } cases[] = {
      {{{"Gr\xC3\xB6\xC3\x9F" "e", ftInteger}}, "Gr\xC3\xB6\xC3\x9F" "e"},  // not ASCII
      {{{"first name", ftString, 5}}, "'first name'"},                       // a blank
      {{{"1st", ftInteger}}, "'1st'"},                                       // not beginning with a letter
      {{{"", ftInteger}}, "without a name"},
      {{{"ID", ftInteger}, {"id", ftString, 5}}, "'id' is taken twice"},     // names ignore case
      {{{"PIC", ftBytes}}, "ftBytes"},                                       // no column type
      {{{"S", ftString, 0}}, "'S'"},                                         // a string without a length
      {{{"D", ftBCD, 16}}, "'D'"},                                           // more places than N holds
      {{}, "at least one field"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Named);
    try {
      CreateDbfWriter((Dir / "t.dbf").string(), c.Fields, Flavour());
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find(c.Named), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(Listing().empty());
  }
}

TEST_P(DbfTables, LongNamesAreCutAndMadeUnique) {
  // The name of 10 characters is kept although it comes last; the long ones
  // are cut to it and then numbered.
  const std::vector<TTableFieldDef> fields = {
      {"customer_number", ftInteger}, {"customer_name", ftString, 10}, {"Customer_N", ftInteger}};
  const std::vector<std::vector<TCell>> rows = {{Int(1), Text("a"), Int(2)}};
  const fs::path path = Dir / "names.dbf";
  Write(path, fields, rows);
  ExpectOutput("python3-dbf", RunReader(DbfReader, path.string()),
               Expected(false, fields, {"customer_1 N 11 0", "customer_2 C 10 0", "customer_n N 11 0"}, rows));
  ExpectOutput("GDAL", RunReader(GdalReader, path.string()),
               Expected(true, fields,
                        {"customer_1 Integer64 11 0", "customer_2 String 10 0", "Customer_N Integer64 11 0"}, rows));
}

// ---- Replacing a table, and failing to write one ------------------------------------------

TEST_P(DbfTables, ReplacesAnOlderTableAndItsMemoFiles) {
  const fs::path path = Dir / "t.dbf";
  Write(path, {{"ID", ftInteger}, {"NOTE", ftMemo}}, {{Int(1), Text("old")}, {Int(2), Text("older")}});
  WriteAll(Dir / (Fox() ? "t.dbt" : "t.fpt"), "the other flavour's memo");
  // The same table again, with memos: the other flavour's memo file goes.
  const std::vector<TTableFieldDef> withMemo = {{"ID", ftInteger}, {"NOTE", ftMemo}};
  const std::vector<std::vector<TCell>> memoRows = {{Int(3), Text("new")}};
  Write(path, withMemo, memoRows);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"t.dbf", "t" + MemoExt()}));
  ExpectWellFormed(path, true, 1);
  ExpectOutput("python3-dbf", RunReader(DbfReader, path.string()),
               Expected(false, withMemo, {"id N 11 0", "note M 10 0"}, memoRows));
  // Without memos: no memo file is left beside it.
  const std::vector<TTableFieldDef> plain = {{"CODE", ftString, 4}};
  const std::vector<std::vector<TCell>> plainRows = {{Text("abcd")}};
  Write(path, plain, plainRows);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"t.dbf"}));
  ExpectWellFormed(path, false, 1);
  ExpectOutput("python3-dbf", RunReader(DbfReader, path.string()), Expected(false, plain, {"code C 4 0"}, plainRows));
  ExpectOutput("GDAL", RunReader(GdalReader, path.string()), Expected(true, plain, {"CODE String 4 0"}, plainRows));
}

// Limits the size of files this process writes, making a write past it fail
// with EFBIG instead of raising SIGXFSZ; restores both on destruction.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit lim = FOld;
    lim.rlim_cur = Bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    signal(SIGXFSZ, FOldHandler);
  }

private:
  rlimit FOld{};
  void (*FOldHandler)(int);
};

TEST_P(DbfTables, WriteFailuresRaiseInOutErrorAndLeaveTheOlderTable) {
  const std::vector<TTableFieldDef> fields = {{"ID", ftInteger}, {"NAME", ftString, 100}, {"NOTE", ftMemo}};
  const std::string note(700, 'n');
  const std::string dbf = (Dir / "t.dbf").string(), memo = (Dir / ("t" + MemoExt())).string();

  {  // No such directory.
    const std::string missing = (Dir / "missing" / "t.dbf").string();
    try {
      CreateDbfWriter(missing, fields, Flavour());
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, ENOENT);
      EXPECT_NE(e.Message().find(Dir.string() + "/missing/t."), std::string::npos) << e.Message();
    }
  }

  WriteAll(dbf, "older table");
  WriteAll(memo, "older memo");
  {  // The disk fills up (a file size limit stands in for it) while records go in.
    std::string message;
    int code = 0;
    {
      auto w = CreateDbfWriter(dbf, fields, Flavour());
      TFileSizeLimit limit(64 * 1024);
      try {
        for (int i = 0; i < 100000; ++i) w->Append({Int(i), Text("name"), Text(note)});
        w->Finish();
      } catch (const EInOutError& e) {
        message = e.Message();
        code = e.ErrorCode;
      }
    }
    EXPECT_EQ(code, EFBIG);
    EXPECT_NE(message.find(Dir.string() + "/t."), std::string::npos) << message;
  }
  EXPECT_EQ(Listing(), (std::vector<std::string>{"t.dbf", "t" + MemoExt()}));
  EXPECT_EQ(ReadAll(dbf), "older table");
  EXPECT_EQ(ReadAll(memo), "older memo");

  {  // The table cannot be moved into place (a directory has its name) after
     // its memo file was: the older memo file comes back.
    fs::remove(dbf);
    fs::create_directory(dbf);
    auto w = CreateDbfWriter(dbf, fields, Flavour());
    w->Append({Int(1), Text("name"), Text(note)});
    try {
      w->Finish();
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, EISDIR);
      EXPECT_NE(e.Message().find(dbf), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(Listing(), (std::vector<std::string>{"t.dbf", "t" + MemoExt()}));
  EXPECT_TRUE(fs::is_directory(dbf));
  EXPECT_EQ(ReadAll(memo), "older memo");
}

}  // namespace
