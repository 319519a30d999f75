// Paradox writer: tables read back through pxlib's reader, their headers,
// data blocks and blob files decoded here from the published file layout,
// the values and definitions the format cannot hold, and what is left on
// disk when writing fails.
//
// Blob files are decoded here only: pxlib 0.6.8 overruns its stack opening a
// blob file whose size is a multiple of 4 KiB, which every complete one is.
// pxlib's reader reports a NULL long, date or time as -2147483648, so NULLs
// are checked on the record's bytes (all zero) for every type.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "Decoders.h"
#include "TableCells.h"
#include "TableFormats.h"

// pxlib's header does not declare C linkage itself.
extern "C" {
#include <paradox.h>
}

using namespace vcl;
using namespace vcl::detail;
namespace fs = std::filesystem;

namespace {

// ---- Cells: tests/support/TableCells.h

using namespace tolvane::test;

// ---- Files -------------------------------------------------------------------------

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a directory, sorted.
std::vector<std::string> Listing(const std::string& Dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned U16(const std::string& B, std::size_t At) {
  return static_cast<unsigned char>(B[At]) | static_cast<unsigned>(static_cast<unsigned char>(B[At + 1])) << 8;
}
std::uint32_t U32(const std::string& B, std::size_t At) {
  return U16(B, At) | static_cast<std::uint32_t>(U16(B, At + 2)) << 16;
}

// ---- The header and data blocks, decoded from the file layout ---------------------

struct THeader {
  unsigned RecordSize = 0, HeaderSize = 0, FileType = 0, MaxTableSize = 0, Version = 0;
  std::uint32_t Records = 0;
  unsigned Fields = 0;
  std::vector<std::pair<unsigned, unsigned>> FieldInfo;   // type byte, size byte
  std::vector<std::string> Names;
  std::uint32_t RecordsInBlocks = 0;   // counted along the chain of data blocks
  std::string Problem;                 // what does not add up; empty when all does
};

// Offsets: 0x00 record size, 0x02 header size, 0x04 file type, 0x05 block
// size in KiB, 0x06 record count, 0x0C blocks in use, 0x0E first block,
// 0x21 field count, 0x39 file version, 0x78 type and size of each field, then
// a pointer to the table name and one per field, the table name (261 bytes
// from version 12 on) and the field names, each ended by a zero. A data
// block starts with the next and the previous block's numbers and the
// offset of its last record.
THeader DecodeHeader(const std::string& B) {
  THeader h;
  if (B.size() < 0x78) {
    h.Problem = "file of " + std::to_string(B.size()) + " bytes";
    return h;
  }
  h.RecordSize = U16(B, 0x00);
  h.HeaderSize = U16(B, 0x02);
  h.FileType = static_cast<unsigned char>(B[0x04]);
  h.MaxTableSize = static_cast<unsigned char>(B[0x05]);
  h.Records = U32(B, 0x06);
  h.Fields = U16(B, 0x21);
  h.Version = static_cast<unsigned char>(B[0x39]);
  std::size_t at = 0x78;
  for (unsigned i = 0; i < h.Fields; ++i, at += 2)
    h.FieldInfo.emplace_back(static_cast<unsigned char>(B[at]), static_cast<unsigned char>(B[at + 1]));
  at += 4 + 4 * h.Fields + (h.Version >= 12 ? 261 : 79);
  for (unsigned i = 0; i < h.Fields && at < B.size(); ++i) {
    const std::size_t end = B.find('\0', at);
    h.Names.push_back(B.substr(at, end - at));
    at = end + 1;
  }
  const std::size_t blockSize = h.MaxTableSize * 1024u;
  const unsigned blocks = U16(B, 0x0C);
  if (B.size() != h.HeaderSize + blocks * blockSize)
    h.Problem = "file of " + std::to_string(B.size()) + " bytes for " + std::to_string(blocks) + " blocks";
  unsigned block = h.Records > 0 ? U16(B, 0x0E) : 0;
  for (unsigned seen = 0; block != 0 && seen <= blocks; ++seen) {
    const std::size_t start = h.HeaderSize + (block - 1) * blockSize;
    if (start + blockSize > B.size()) {
      h.Problem = "block " + std::to_string(block) + " past the end";
      break;
    }
    const auto last = static_cast<std::int16_t>(U16(B, start + 4));
    h.RecordsInBlocks += static_cast<std::uint32_t>(last / static_cast<int>(h.RecordSize) + 1);
    block = U16(B, start);
  }
  return h;
}

// ---- Blobs, decoded from the file layout -----------------------------------------

// A memo or blob field ends in a 10-byte reference: the offset in the .mb
// file (4 KiB block and, in the low byte, the blob's index in a block shared
// by small blobs, 0xFF for a block of its own; 0 when the whole value is in
// the record), the length and a modification number. Its first bytes hold
// the value's beginning. A block of its own: type 2, 4 KiB units, length,
// modification number, then the data. A shared block: type 3, then from byte
// 12 five bytes per index (data offset / 16, length in 16-byte units,
// modification number, length % 16).
struct TBlob {
  bool Null = true;
  std::string Data;
  std::string Problem;
};

TBlob DecodeBlob(const char* Field, int Size, const std::string& Mb) {
  TBlob b;
  const std::string ref(Field, static_cast<std::size_t>(Size));
  const std::size_t leader = static_cast<std::size_t>(Size) - 10;
  const std::uint32_t offset = U32(ref, leader);
  const std::uint32_t length = U32(ref, leader + 4);
  if (length == 0) {
    if (ref.find_first_not_of('\0') != std::string::npos) b.Problem = "an empty blob with nonzero bytes";
    return b;
  }
  b.Null = false;
  if (offset == 0) {
    if (length > leader) b.Problem = "a blob longer than the record's part without a block";
    else b.Data = ref.substr(0, length);
    return b;
  }
  const std::size_t block = offset & ~0xFFu;
  const unsigned index = offset & 0xFFu;
  if (block % 4096 != 0 || block + 4096 > Mb.size()) {
    b.Problem = "block offset " + std::to_string(block) + " in a blob file of " + std::to_string(Mb.size());
    return b;
  }
  std::size_t data = 0;
  if (index == 0xFF) {
    if (Mb[block] != 2 || U32(Mb, block + 3) != length || block + U16(Mb, block + 1) * 4096u > Mb.size() ||
        9 + length > U16(Mb, block + 1) * 4096u)
      b.Problem = "a single-blob block that does not match";
    data = block + 9;
  } else {
    const std::size_t entry = block + 12 + 5 * index;
    const unsigned units = static_cast<unsigned char>(Mb[entry + 1]);
    const unsigned rest = static_cast<unsigned char>(Mb[entry + 4]);
    if (Mb[block] != 3 || (units - 1) * 16 + (rest == 0 ? 16 : rest) != length)
      b.Problem = "a shared block's entry that does not match";
    data = block + static_cast<unsigned char>(Mb[entry]) * 16u;
  }
  if (data + length > Mb.size()) {
    b.Problem = "blob data past the end of the blob file";
    return b;
  }
  b.Data = Mb.substr(data, length);
  if (ref.compare(0, std::min<std::size_t>(leader, length), b.Data, 0, std::min<std::size_t>(leader, length)) != 0)
    b.Problem = "the record's part differs from the blob's beginning";
  return b;
}

// ---- Reading a table back ------------------------------------------------------------

// A value as read: Int for shorts, longs, dates, times and logicals, Float
// for numbers, money and timestamps, Text for alphas, BCDs and blobs.
struct TRead {
  bool Null = true;
  std::int64_t Int = 0;
  double Float = 0;
  std::string Text;
};

struct TTable {
  THeader Header;
  std::vector<std::vector<TRead>> Records;
  std::string Problem;   // pxlib's failure or a blob's; empty when all went well
};

TTable ReadTable(const std::string& Path) {
  TTable t;
  t.Header = DecodeHeader(ReadFile(Path));
  const std::string mbPath = Path.substr(0, Path.rfind('.')) + ".mb";
  const std::string mb = fs::exists(mbPath) ? ReadFile(mbPath) : std::string();
  pxdoc_t* doc = PX_new();
  if (PX_open_file(doc, Path.c_str()) < 0) {
    t.Problem = "pxlib cannot open " + Path;
    PX_delete(doc);
    return t;
  }
  const int n = PX_get_num_fields(doc);
  const pxfield_t* fields = PX_get_fields(doc);
  std::vector<char> rec(static_cast<std::size_t>(PX_get_recordsize(doc)));
  for (int r = 0; r < PX_get_num_records(doc); ++r) {
    if (!PX_get_record(doc, r, rec.data())) {
      t.Problem = "pxlib cannot read record " + std::to_string(r);
      break;
    }
    std::vector<TRead> values;
    int offset = 0;
    for (int i = 0; i < n; ++i) {
      const pxfield_t& f = fields[i];
      char* p = rec.data() + offset;
      offset += f.px_flen;
      TRead v;
      v.Null = std::all_of(p, p + f.px_flen, [](char c) { return c == 0; });
      if (!v.Null) {
        int got = 1;
        switch (f.px_ftype) {
          case pxfAlpha: {
            char* s = nullptr;
            got = PX_get_data_alpha(doc, p, f.px_flen, &s);
            if (s) {
              v.Text = s;
              doc->free(doc, s);
            }
            break;
          }
          case pxfShort: {
            short s = 0;
            got = PX_get_data_short(doc, p, f.px_flen, &s);
            v.Int = s;
            break;
          }
          case pxfLong:
          case pxfDate:
          case pxfTime: {
            long l = 0;
            got = PX_get_data_long(doc, p, f.px_flen, &l);
            v.Int = l;
            break;
          }
          case pxfNumber:
          case pxfCurrency:
          case pxfTimestamp: got = PX_get_data_double(doc, p, f.px_flen, &v.Float); break;
          case pxfLogical: {
            char c = 0;
            got = PX_get_data_byte(doc, p, f.px_flen, &c);
            v.Int = c != 0;
            break;
          }
          case pxfBCD: {
            char* s = nullptr;
            got = PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(p), f.px_fdc, &s);
            if (s) {
              v.Text = s;
              doc->free(doc, s);
            }
            break;
          }
          case pxfMemoBLOb:
          case pxfBLOb: {
            const TBlob b = DecodeBlob(p, f.px_flen, mb);
            if (!b.Problem.empty()) t.Problem = "record " + std::to_string(r) + ": " + b.Problem;
            v.Null = b.Null;
            v.Text = b.Data;
            break;
          }
          default: t.Problem = "unexpected field type " + std::to_string(f.px_ftype);
        }
        if (got <= 0) t.Problem = "pxlib cannot read field " + std::to_string(i) + " of record " + std::to_string(r);
      }
      values.push_back(std::move(v));
    }
    t.Records.push_back(std::move(values));
  }
  PX_close(doc);
  PX_delete(doc);
  return t;
}

// A decimal number's value as text: no '+', no leading or trailing zeros
// that do not count, no sign on zero ("-012.50" -> "-12.5", "-0.00" -> "0").
std::string DecimalValue(std::string S) {
  bool negative = false;
  if (!S.empty() && (S[0] == '+' || S[0] == '-')) negative = S[0] == '-', S.erase(0, 1);
  if (S.find('.') != std::string::npos) {
    while (S.back() == '0') S.pop_back();
    if (S.back() == '.') S.pop_back();
  }
  while (S.size() > 1 && S[0] == '0' && S[1] != '.') S.erase(0, 1);
  if (S.empty() || S[0] == '.') S.insert(0, "0");
  return negative && S != "0" ? "-" + S : S;
}

// The calendar date of a day number as pxlib gives it back.
TDateValue DateOf(std::int64_t Day) {
  TDateValue d;
  PX_SdnToGregorian(static_cast<long>(Day + 1721425), &d.Year, &d.Month, &d.Day);
  return d;
}

// What differs between a written cell and the value read back; empty when
// they are the same. An empty text reads back as NULL: the format has one
// blank for both.
std::string Compare(TFieldType Type, const TCell& W, const TRead& R) {
  const bool blank = W.Null || ((Type == ftString || Type == ftMemo || Type == ftBlob) && W.Text.empty());
  if (blank || R.Null) return blank == R.Null ? "" : (blank ? "NULL read as a value" : "a value read as NULL");
  auto sameDate = [](const TDateValue& A, const TDateValue& B) {
    return A.Year == B.Year && A.Month == B.Month && A.Day == B.Day;
  };
  switch (Type) {
    case ftString:
    case ftMemo:
    case ftBlob:
      return R.Text == W.Text ? "" : "text of " + std::to_string(R.Text.size()) + " bytes differs";
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: return R.Int == W.Int ? "" : "read " + std::to_string(R.Int);
    case ftLargeint:
      return R.Float == static_cast<double>(W.Int) && static_cast<std::int64_t>(R.Float) == W.Int
                 ? ""
                 : "read " + std::to_string(R.Float);
    case ftFloat:
    case ftCurrency:
      return std::memcmp(&R.Float, &W.Float, sizeof(double)) == 0 ? "" : "read " + std::to_string(R.Float);
    case ftBCD: {
      std::string written(W.Text);
      if (written.empty()) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.6f", W.Float);   // exact for the doubles written here
        written = buf;
      }
      return DecimalValue(R.Text) == DecimalValue(written) ? "" : "read " + R.Text;
    }
    case ftBoolean: return R.Int == W.Bool ? "" : "read " + std::to_string(R.Int);
    case ftDate: return sameDate(DateOf(R.Int), W.Date) ? "" : "read day " + std::to_string(R.Int);
    case ftTime: return R.Int == W.TimeMs ? "" : "read " + std::to_string(R.Int);
    case ftDateTime: {
      const double day = std::floor(R.Float / 86400000.0);
      const double ms = R.Float - day * 86400000.0;
      return sameDate(DateOf(static_cast<std::int64_t>(day)), W.Date) && ms == W.TimeMs
                 ? ""
                 : "read " + std::to_string(R.Float);
    }
    default: return "unexpected type";
  }
}

// ---- The fixture ---------------------------------------------------------------------

class Paradox : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
      if (c == '/') c = '-';
    Dir = tolvane::test::TestTempDir() + "/paradox-" + name;
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }

  // Writes a whole table.
  static void Write(const std::string& Path, const std::vector<TTableFieldDef>& Defs,
                    const std::vector<std::vector<TCell>>& Rows) {
    auto w = CreateParadoxWriter(Path, Defs);
    for (const auto& row : Rows) w->Append(row);
    w->Finish();
  }

  // Reads Path back and checks it holds Rows: the header's counts and field
  // table, the names, every value.
  static void ExpectTable(const std::string& Path, const std::vector<TTableFieldDef>& Defs,
                          const std::vector<std::pair<unsigned, unsigned>>& FieldInfo,
                          const std::vector<std::vector<TCell>>& Rows) {
    const TTable t = ReadTable(Path);
    EXPECT_EQ(t.Problem, "");
    const THeader& h = t.Header;
    EXPECT_EQ(h.Problem, "");
    EXPECT_EQ(h.FileType, 2u);   // a table without a primary key
    EXPECT_EQ(h.Version, 12u);   // Paradox 7
    EXPECT_EQ(h.Records, Rows.size());
    EXPECT_EQ(h.RecordsInBlocks, Rows.size());
    EXPECT_EQ(h.Fields, Defs.size());
    EXPECT_EQ(h.FieldInfo, FieldInfo);
    unsigned recordSize = 0;
    for (const auto& [type, size] : FieldInfo) recordSize += type == pxfBCD ? 17 : size;
    EXPECT_EQ(h.RecordSize, recordSize);
    ASSERT_EQ(h.Names.size(), Defs.size());
    for (std::size_t i = 0; i < Defs.size(); ++i) EXPECT_EQ(h.Names[i], Defs[i].Name);
    ASSERT_EQ(t.Records.size(), Rows.size());
    for (std::size_t r = 0; r < Rows.size(); ++r)
      for (std::size_t i = 0; i < Defs.size(); ++i)
        EXPECT_EQ(Compare(Defs[i].DataType, Rows[r][i], t.Records[r][i]), "")
            << "field " << Defs[i].Name << ", record " << r + 1;
  }

  std::string Dir;
};

// ---- Every type ------------------------------------------------------------------------

// One column of a table: its definition, the type and size bytes its header
// entry must have, and a value for each record.
struct TColumnCase {
  TTableFieldDef Def;
  unsigned Type, Size;
  std::vector<TCell> Values;
};

constexpr std::int64_t Two53 = std::int64_t{1} << 53;
const std::string Bytes8 = "\x80\xA4\xE9\xFF\x81\x9F";   // high bytes, exactly the field's 6
const std::string Long255(255, '\xE4');
const std::string ThirtyTwoDigits = "12345678901234567890123456789012";
const std::string MinusThirtyTwoDigits = "-" + ThirtyTwoDigits;
const std::string WidestDec2 = std::string(30, '9') + ".99";     // 32 digits with 2 places
const std::string TooWideDec2 = std::string(31, '1');            // 33 digits with 2 places

TEST_F(Paradox, EveryTypeReadsBackAsWritten) {
  const std::vector<TColumnCase> columns = {
      // A 25-character name; 8-bit bytes; spaces kept; an empty string reads as NULL.
      {{"Name_of_twenty_five_chars", ftString, 6}, pxfAlpha, 6,
       {Text("abc"), Null(), Text(Bytes8), Text(" pad  "), Text(""), Text("Z")}},
      {{"Wide", ftString, 255}, pxfAlpha, 255, {Text(Long255), Text("x"), Null(), Text("y"), Text("\x01"), Text("end")}},
      // -32768 and -2^31 are NULL's bytes: the extremes are one less.
      {{"Small", ftSmallint, 0}, pxfShort, 2, {Int(-32767), Int(32767), Int(0), Null(), Int(-1), Int(1)}},
      {{"Int", ftInteger, 0}, pxfLong, 4,
       {Int(-2147483647), Int(2147483647), Int(0), Null(), Int(-1), Int(1)}},
      {{"Word", ftWord, 0}, pxfLong, 4, {Int(0), Int(65535), Null(), Int(1), Int(2), Int(3)}},
      {{"Auto", ftAutoInc, 0}, pxfLong, 4, {Int(1), Int(2), Int(3), Null(), Int(5), Int(2147483647)}},
      {{"Large", ftLargeint, 0}, pxfNumber, 8,
       {Int(Two53), Int(-Two53), Null(), Int(0), Int(1234567890123), Int(-1)}},
      // -0 keeps its sign; the smallest denormal; infinities.
      {{"Real", ftFloat, 0}, pxfNumber, 8,
       {Real(-0.0), Real(DBL_MAX), Real(4.9406564584124654e-324), Real(-INFINITY), Null(), Real(0.1)}},
      {{"Money", ftCurrency, 0}, pxfCurrency, 8,
       {Real(0.01), Real(-1234567.89), Real(0), Null(), Real(1e15), Real(INFINITY)}},
      // BCD: the size byte is the decimal places; 32 digits in all.
      {{"Dec2", ftBCD, 2}, pxfBCD, 2,
       {Bcd("123.45"), Bcd("-0.01"), Bcd(WidestDec2), Bcd("+5"), Null(), Bcd("-012.500")}},
      {{"Dec0", ftBCD, 0}, pxfBCD, 0,
       {Bcd(ThirtyTwoDigits), Bcd("-1"), Bcd("0"), Null(), Bcd(MinusThirtyTwoDigits), Bcd("7.")}},
      // Only a double: taken when its digits at the field's places are exact.
      {{"DecF", ftBCD, 4}, pxfBCD, 4, {Real(2.5), Real(-0.125), Null(), Real(0), Real(1e20), Real(-3)}},
      {{"Flag", ftBoolean, 0}, pxfLogical, 1, {Bool(true), Bool(false), Null(), Bool(true), Bool(false), Bool(true)}},
      {{"Day", ftDate, 0}, pxfDate, 4,
       {Date(1, 1, 1), Date(9999, 12, 31), Date(2000, 2, 29), Date(1899, 12, 30), Null(), Date(1970, 1, 1)}},
      {{"Clock", ftTime, 0}, pxfTime, 4, {Time(0), Time(86399999), Time(43200000), Null(), Time(1), Time(1000)}},
      {{"Stamp", ftDateTime, 0}, pxfTimestamp, 8,
       {Stamp(1, 1, 1, 0), Stamp(9999, 12, 31, 86399999), Stamp(2024, 2, 29, 45296789), Null(),
        Stamp(1970, 1, 1, 0), Stamp(1899, 12, 30, 1)}},
  };
  std::vector<TTableFieldDef> defs;
  std::vector<std::pair<unsigned, unsigned>> info;
  std::vector<std::vector<TCell>> rows(6);
  for (const TColumnCase& c : columns) {
    defs.push_back(c.Def);
    info.emplace_back(c.Type, c.Size);
    ASSERT_EQ(c.Values.size(), rows.size()) << c.Def.Name;
    for (std::size_t r = 0; r < rows.size(); ++r) rows[r].push_back(c.Values[r]);
  }
  const std::string path = Dir + "/types.pdx";
  Write(path, defs, rows);
  ExpectTable(path, defs, info, rows);
  EXPECT_EQ(Listing(Dir), std::vector<std::string>{"types.pdx"});   // no blob file, no temporaries
}

// Memos, binary blobs and strings longer than an alpha field: in the record
// when they fit its 10 bytes, else in a block shared with other small blobs
// or in blocks of their own. The blob file is whole 4 KiB blocks even when a
// large blob ends it.
TEST_F(Paradox, BlobsReadBackAsWritten) {
  std::string binary(3000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);
  const std::string big(100000, 'q'), leader(10, 'L'), past(11, 'P'), shared(2000, '\xFF'), xs(300, 'x');
  const std::vector<TTableFieldDef> defs = {{"Notes", ftMemo, 0}, {"Data", ftBlob, 0}, {"Long", ftString, 300}};
  const std::vector<std::vector<TCell>> rows = {
      {Text("a"), Text(std::string_view("\0\x01", 2)), Text("short")},
      {Text(leader), Text(past), Null()},
      {Null(), Text(binary), Text(xs)},
      {Text(shared), Null(), Text("")},
      {Text(past), Text(shared), Text(leader)},
      {Text(binary), Text(big), Text(big)},   // longer than its Size: a memo holds it
  };
  const std::string path = Dir + "/blobs.pdx";
  Write(path, defs, rows);
  ExpectTable(path, defs, {{pxfMemoBLOb, 20}, {pxfBLOb, 20}, {pxfMemoBLOb, 20}}, rows);
  const std::string mb = ReadFile(Dir + "/blobs.mb");
  EXPECT_EQ(mb.size() % 4096, 0u);
  EXPECT_EQ(mb[0], 0);   // the header block
}

TEST_F(Paradox, EmptyTable) {
  const std::vector<TTableFieldDef> defs = {{"Id", ftInteger, 0}, {"Name", ftString, 12}};
  const std::string path = Dir + "/empty.pdx";
  Write(path, defs, {});
  ExpectTable(path, defs, {{pxfLong, 4}, {pxfAlpha, 12}}, {});
  EXPECT_EQ(Listing(Dir), std::vector<std::string>{"empty.pdx"});
}

// ---- What raises ---------------------------------------------------------------------

struct TRejectCase {
  TTableFieldDef Def;
  TCell Value;
  std::string Shown;   // how the message shows the value
};

// Each bad value comes in record 2 of a table replacing an older one: the
// message names field, record and value; the older table and its blob file
// stay as they were and no temporaries are left.
TEST_F(Paradox, BadValueRaisesAndKeepsTheOlderTable) {
  const std::string path = Dir + "/t.pdx";
  Write(path, {{"Old", ftMemo, 0}}, {{Text(std::string(5000, 'o'))}});
  const std::string oldTable = ReadFile(path), oldBlobs = ReadFile(Dir + "/t.mb");
  const std::vector<TRejectCase> cases = {
      {{"S", ftString, 3}, Text("abcd"), "'abcd'"},               // longer than its Size
      {{"S", ftString, 3}, Text(std::string_view("a\0b", 3)), "'a\\x00b'"},   // a zero byte ends alpha text
      {{"N", ftSmallint, 0}, Int(-32768), "-32768"},              // NULL's bytes
      {{"N", ftSmallint, 0}, Int(32768), "32768"},
      {{"N", ftInteger, 0}, Int(-2147483648LL), "-2147483648"},   // NULL's bytes
      {{"N", ftAutoInc, 0}, Int(2147483648LL), "2147483648"},
      {{"N", ftLargeint, 0}, Int(Two53 + 1), "9007199254740993"}, // no double holds it
      {{"R", ftFloat, 0}, Real(std::nan("")), "NaN"},
      {{"D", ftBCD, 2}, Bcd("1.234"), "'1.234'"},                 // a digit past the places
      {{"D", ftBCD, 2}, Bcd(TooWideDec2), "'1111111111111111111111111111111'"},
      {{"D", ftBCD, 2}, Bcd("1e5"), "'1e5'"},
      {{"D", ftBCD, 1}, Real(0.05), "0.050000000000000003"},     // not this double at one place
      {{"T", ftDate, 0}, Date(2023, 2, 29), "2023-02-29"},
      {{"T", ftDate, 0}, Date(0, 12, 31), "0000-12-31"},
      {{"T", ftTime, 0}, Time(86400000), "86400000 ms after midnight"},
      {{"T", ftDateTime, 0}, Stamp(2020, 1, 1, -1), "2020-01-01, -1 ms after midnight"},
  };
  for (const TRejectCase& c : cases) {
    SCOPED_TRACE(c.Shown);
    const std::vector<TTableFieldDef> defs = {{"First", ftInteger, 0}, c.Def};
    {
      auto w = CreateParadoxWriter(path, defs);
      w->Append({Int(1), Null()});
      try {
        w->Append({Int(2), c.Value});
        ADD_FAILURE() << "no exception";
      } catch (const EDatabaseError& e) {
        const std::string m = e.Message();
        EXPECT_NE(m.find("Field '" + c.Def.Name + "'"), std::string::npos) << m;
        EXPECT_NE(m.find("record 2"), std::string::npos) << m;
        EXPECT_NE(m.find(c.Shown), std::string::npos) << m;
      }
    }
    EXPECT_EQ(Listing(Dir), (std::vector<std::string>{"t.mb", "t.pdx"}));
    EXPECT_EQ(ReadFile(path), oldTable);
    EXPECT_EQ(ReadFile(Dir + "/t.mb"), oldBlobs);
  }
}

TEST_F(Paradox, BadDefinitionRaises) {
  std::vector<TTableFieldDef> many, wide;
  for (int i = 0; i < 256; ++i) many.push_back({"F" + std::to_string(i), ftSmallint, 0});
  for (int i = 0; i < 65; ++i) wide.push_back({"F" + std::to_string(i), ftString, 255});   // 16575 bytes a record
  const std::vector<std::pair<std::vector<TTableFieldDef>, std::string>> cases = {
      {{{"Twenty_six_characters_long", ftInteger, 0}}, "'Twenty_six_characters_long'"},
      {{{"Id", ftInteger, 0}, {"ID", ftString, 4}}, "'ID' is taken twice"},   // case does not count
      {{{"", ftInteger, 0}}, "without a name"},
      {{{"B", ftBytes, 0}}, "'B'"},                         // no column for the type
      {{{"S", ftString, 0}}, "'S'"},                        // a string needs a length
      {{{"D", ftBCD, 33}}, "'D'"},                          // at most 32 decimal places
      {many, "255 fields"},
      {wide, "16575 bytes"},
      {{}, "at least one field"},
  };
  for (const auto& [defs, text] : cases) {
    SCOPED_TRACE(text);
    try {
      CreateParadoxWriter(Dir + "/t.pdx", defs);
      ADD_FAILURE() << "no exception";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find(text), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(Listing(Dir).empty());
  }
}

// ---- Files ---------------------------------------------------------------------------

// A new table replaces the older one and its blob file: a table without
// blob fields removes the older one's, a table with them brings its own.
TEST_F(Paradox, ReplacingATable) {
  const std::string path = Dir + "/t.pdx";
  const std::vector<TTableFieldDef> withMemo = {{"Id", ftInteger, 0}, {"Notes", ftMemo, 0}};
  const std::vector<TTableFieldDef> plain = {{"Name", ftString, 8}};
  const std::string note(6000, 'n');
  Write(path, withMemo, {{Int(1), Text(note)}, {Int(2), Null()}, {Int(3), Text("m")}});
  Write(path, plain, {{Text("second")}});
  ExpectTable(path, plain, {{pxfAlpha, 8}}, {{Text("second")}});
  EXPECT_EQ(Listing(Dir), std::vector<std::string>{"t.pdx"});
  Write(path, withMemo, {{Int(4), Text(note)}});
  ExpectTable(path, withMemo, {{pxfLong, 4}, {pxfMemoBLOb, 20}}, {{Int(4), Text(note)}});
  EXPECT_EQ(Listing(Dir), (std::vector<std::string>{"t.mb", "t.pdx"}));
}

TEST_F(Paradox, MissingDirectoryRaisesInOutError) {
  const std::string path = Dir + "/missing/t.pdx";
  try {
    CreateParadoxWriter(path, {{"Id", ftInteger, 0}});
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
  }
}

// Writes fail once the files pass a size limit (RLIMIT_FSIZE, EFBIG): in the
// middle of the records, when the cache pushes pages out, or when Finish
// writes what is left. Either way EInOutError names the file and the older
// table is kept.
TEST_F(Paradox, FailedWriteRaisesAndKeepsTheOlderTable) {
  const std::string path = Dir + "/t.pdx";
  const std::vector<TTableFieldDef> defs = {{"Id", ftInteger, 0}, {"Name", ftString, 100}, {"Notes", ftMemo, 0}};
  Write(path, defs, {{Int(1), Text("older"), Text(std::string(3000, 'o'))}});
  const std::string oldTable = ReadFile(path), oldBlobs = ReadFile(Dir + "/t.mb");
  const std::string name(100, 'x'), note(500, 'm');
  struct TCase {
    rlim_t Limit;
    int Records;
    const char* FailsIn;
  };
  const TCase cases[] = {{200 * 1024, 100000, "Append"},   // once the cache pushes pages out
                         {1000, 10, "Finish"}};            // all still in the cache
  auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Limit);
    const char* failedIn = "nothing";
    int code = 0;
    std::string message;
    {
      auto w = CreateParadoxWriter(path, defs);
      rlimit limit = saved;
      limit.rlim_cur = c.Limit;
      setrlimit(RLIMIT_FSIZE, &limit);
      try {
        failedIn = "Append";
        for (int r = 1; r <= c.Records; ++r) w->Append({Int(r), Text(name), Text(note)});
        failedIn = "Finish";
        w->Finish();
        failedIn = "nothing";
      } catch (const EInOutError& e) {
        code = e.ErrorCode;
        message = e.Message();
      }
      setrlimit(RLIMIT_FSIZE, &saved);
    }
    EXPECT_EQ(code, EFBIG);
    EXPECT_NE(message.find(Dir + "/t."), std::string::npos) << message;
    EXPECT_STREQ(failedIn, c.FailsIn);
    EXPECT_EQ(Listing(Dir), (std::vector<std::string>{"t.mb", "t.pdx"}));
    EXPECT_EQ(ReadFile(path), oldTable);
    EXPECT_EQ(ReadFile(Dir + "/t.mb"), oldBlobs);
  }
  signal(SIGXFSZ, oldHandler);
}

}  // namespace
