// Paradox tables for the batch move, written through pxlib: a table file in
// the Paradox 7 layout (the export names it *.pdx; the writer writes the Path
// it is given) and, when a field needs one, a blob file beside it with the
// extension .mb for memos, binary blobs and strings longer than 255 bytes.
//
// Column types (the type byte of the field table in brackets):
//   ftString            alpha (0x01) of Size bytes, 1 to 255; a longer Size
//                       gives a memo (0x0C)
//   ftMemo, ftBlob      memo (0x0C), binary blob (0x0D): 10 bytes of the value
//                       in the record, the rest in the .mb file
//   ftSmallint          short (0x03)
//   ftInteger, ftWord,  long (0x04). Not autoincrement (0x16): pxlib leaves
//   ftAutoInc           the header's counter at 0, so the next record added
//                       by a table program would collide with the copied values
//   ftLargeint          number (0x06), a double: integers up to 2^53
//   ftFloat, ftCurrency number (0x06), money (0x05)
//   ftBCD               BCD (0x17) of Size decimal places, 32 digits in all
//   ftBoolean           logical (0x09)
//   ftDate, ftTime,     date (0x02, days from 0001-01-01 as day 1), time
//   ftDateTime          (0x14, milliseconds after midnight), timestamp (0x15,
//                       milliseconds from the start of day 1 less one day)
//
// A field's bytes all zero is NULL. Integers are stored with the sign bit
// flipped, so the smallest value of each width (-32768, -2^31) has NULL's
// bytes and is refused. An empty string or blob has NULL's bytes too: the
// format has one blank for both, and readers report it as NULL.
//
// Strings are bytes: no encoding is set, so pxlib copies them as they are
// (bytes 0x80 to 0xFF included) and the header keeps pxlib's code page, 1252.
//
// What pxlib does that this file works around:
//   - for every record it rewrites the header, field by field, and reads back
//     the block it appends to: some 700 stream calls, 14 of them system calls
//     on a plain FILE (a million records take minutes). Both files are
//     therefore stdio streams (fopencookie) over a write-back cache of 64 KiB
//     pages, and the table's stream functions go to the cache straight.
//   - a record larger than a block (16378 bytes) divides by zero; more than
//     65535 blocks wrap the header's 16-bit block count. Both are refused.
//   - PX_put_data_bcd misreads a number without a decimal point, so it always
//     gets "digits.places"; PX_put_data_alpha cuts a longer string short and
//     PX_put_data_double stores NaN as a tiny number and -0 as 0: lengths
//     and NaN are refused before pxlib sees them, -0 is stored by hand.
//   - it leaves the .mb file's last block short when a large blob ends it;
//     the file is padded to whole 4 KiB blocks.

#include "StagedFiles.h"
#include "TableFormats.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include <vcl/SysUtils.h>

// pxlib's header does not declare C linkage itself.
extern "C" {
#include <paradox.h>
}

namespace vcl::detail {

namespace {

constexpr int MaxAlphaSize = 255;          // widest alpha field
constexpr int MaxNameLength = 25;          // longest field name
constexpr int MaxFields = 255;             // most fields of a table
constexpr int MaxRecordSize = 16384 - 6;   // a 16 KiB block less its 6-byte header
constexpr int BlobFieldSize = 20;          // a memo or blob field: 10 bytes of the value, 10 of reference
constexpr int BcdFieldSize = 17;           // sign and places, then 32 digits
constexpr int BcdDigits = 32;
constexpr unsigned MaxBlocks = 0xFFFF;     // the header counts blocks in 16 bits
constexpr std::int64_t MaxExactInteger = std::int64_t{1} << 53;
constexpr std::int32_t MsPerDay = 86400000;
constexpr std::uint64_t MbBlockSize = 4096;
constexpr std::uint64_t MaxMbSize = std::uint64_t{1} << 32;   // blob references hold 32-bit offsets

// How a column's values are put into the record.
enum class TKind : std::uint8_t {
  Alpha, Blob, Short, Long, Largeint, Double, Bcd, Logical, Date, Time, Timestamp
};

// One column of the table as written.
struct TColumn {
  std::string Name;      // the field's name
  TKind Kind = TKind::Alpha;
  char Type = pxfAlpha;  // pxlib's field type
  int Size = 0;          // bytes in the record
  int Decimals = 0;      // BCD: decimal places
  int Offset = 0;        // of the field in the record
};

// ---- Messages ------------------------------------------------------------------

// A value for a message: printable ASCII as it is, other bytes as \xNN, long
// values cut short with their length.
std::string Quoted(std::string_view Text) {
  constexpr std::size_t Shown = 40;
  std::string s = "'";
  for (std::size_t i = 0; i < Text.size() && i < Shown; ++i) {
    const auto c = static_cast<unsigned char>(Text[i]);
    if (c >= 32 && c < 127 && c != '\\') {
      s += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      s += buf;
    }
  }
  s += "'";
  if (Text.size() > Shown) s += "... (" + std::to_string(Text.size()) + " bytes)";
  return s;
}

std::string DoubleText(double D) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", D);
  return buf;
}

std::string DateText(const TDateValue& D) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", D.Year, D.Month, D.Day);
  return buf;
}

std::string TimeText(std::int32_t Ms) { return std::to_string(Ms) + " ms after midnight"; }

[[noreturn]] void Reject(const TColumn& Column, std::uint64_t Record, const std::string& Shown,
                         const std::string& Reason) {
  throw EDatabaseError("Field '" + Column.Name + "', record " + std::to_string(Record) + ": " + Shown + " " +
                       Reason);
}

[[noreturn]] void RejectDefinition(const TTableFieldDef& Field, const std::string& Reason) {
  throw EDatabaseError("Field '" + Field.Name + "' cannot be stored in a Paradox table: " + Reason);
}

// ---- Values --------------------------------------------------------------------

bool ValidDate(const TDateValue& D) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (D.Year < 1 || D.Year > 9999 || D.Month < 1 || D.Month > 12 || D.Day < 1) return false;
  const bool leap = (D.Year % 4 == 0 && D.Year % 100 != 0) || D.Year % 400 == 0;
  return D.Day <= Days[D.Month - 1] + (D.Month == 2 && leap ? 1 : 0);
}

// The day number of a valid date: 0001-01-01 is day 1.
std::int32_t DayNumber(const TDateValue& D) {
  // Days from the civil date, counted in 400-year eras from 0000-03-01.
  const int y = D.Year - (D.Month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (D.Month + (D.Month > 2 ? -3 : 9)) + 2) / 5 + D.Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 305;   // 0000-03-01 is day -305 when 0001-01-01 is day 1
}

// Writes Text, a decimal number ([+-]digits[.digits]), as pxlib's BCD input:
// "[-]digits.places" with exactly Places decimals (at least one integer
// digit, no leading zeros, no sign on zero). Returns false when Text is not
// such a number, has nonzero digits past Places, or needs more than 32 digits.
bool BcdText(std::string_view Text, int Places, std::string& Out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  const std::size_t intStart = i;
  while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') ++i;
  std::string_view intPart = Text.substr(intStart, i - intStart);
  std::string_view fracPart;
  if (i < Text.size() && Text[i] == '.') {
    const std::size_t fracStart = ++i;
    while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') ++i;
    fracPart = Text.substr(fracStart, i - fracStart);
  }
  if (i != Text.size() || (intPart.empty() && fracPart.empty())) return false;
  while (!intPart.empty() && intPart.front() == '0') intPart.remove_prefix(1);
  while (fracPart.size() > static_cast<std::size_t>(Places)) {
    if (fracPart.back() != '0') return false;
    fracPart.remove_suffix(1);
  }
  if (intPart.size() > static_cast<std::size_t>(BcdDigits - Places)) return false;
  const bool zero = intPart.find_first_not_of('0') == std::string_view::npos &&
                    fracPart.find_first_not_of('0') == std::string_view::npos;
  Out.clear();
  if (negative && !zero) Out += '-';
  if (intPart.empty()) Out += '0';
  else Out += intPart;
  Out += '.';
  Out += fracPart;
  Out.append(static_cast<std::size_t>(Places) - fracPart.size(), '0');
  return true;
}

// ---- Files ---------------------------------------------------------------------

// A file of the table under a temporary name beside its final one. pxlib
// reaches it as an unbuffered stdio stream whose reads, writes and seeks go
// to a write-back cache of pages: page 0 (the header) has a slot of its own,
// every other page shares one of the rest with the pages a multiple of the
// slot count away, so appending writes each page once when it is pushed out.
// A failed read or write is kept (Error) rather than reported to pxlib, which
// is not made to handle one: the writer checks after every call.
class TPagedFile : public TStagedFile {
public:
  explicit TPagedFile(std::string Final) : TStagedFile(std::move(Final), O_RDWR) {
    for (TPage& p : FPages) p.Data = std::make_unique<char[]>(PageSize);
    const cookie_io_functions_t io = {&TPagedFile::CookieRead, &TPagedFile::CookieWrite, &TPagedFile::CookieSeek,
                                      &TPagedFile::CookieClose};
    FStream = fopencookie(this, "w+", io);
    if (!FStream) {
      const int code = errno;
      Discard();
      Fail("Cannot create", code);
    }
    setvbuf(FStream, nullptr, _IONBF, 0);
  }
  TPagedFile(const TPagedFile&) = delete;
  TPagedFile& operator=(const TPagedFile&) = delete;
  ~TPagedFile() { Discard(); }

  FILE* Stream() const { return FStream; }
  std::uint64_t Size() const { return FSize; }

  // The stream's operations, for pxlib's stream functions as well: reads
  // stop at the end of the file, writes always succeed (see Error).
  std::size_t Read(void* Buffer, std::size_t Count) {
    if (FPos >= FSize) return 0;
    Count = static_cast<std::size_t>(std::min<std::uint64_t>(Count, FSize - FPos));
    for (std::size_t done = 0; done < Count;) {
      TPage& p = Page(FPos / PageSize);
      const std::size_t at = FPos % PageSize;
      const std::size_t n = std::min(Count - done, PageSize - at);
      std::memcpy(static_cast<char*>(Buffer) + done, p.Data.get() + at, n);
      done += n;
      FPos += n;
    }
    return Count;
  }
  std::size_t Write(const void* Buffer, std::size_t Count) {
    for (std::size_t done = 0; done < Count;) {
      TPage& p = Page(FPos / PageSize);
      const std::size_t at = FPos % PageSize;
      const std::size_t n = std::min(Count - done, PageSize - at);
      std::memcpy(p.Data.get() + at, static_cast<const char*>(Buffer) + done, n);
      p.Dirty = true;
      done += n;
      FPos += n;
    }
    FSize = std::max(FSize, FPos);
    return Count;
  }
  int Seek(std::int64_t Offset, int Whence) {
    std::int64_t base = 0;
    if (Whence == SEEK_CUR) base = static_cast<std::int64_t>(FPos);
    else if (Whence == SEEK_END) base = static_cast<std::int64_t>(FSize);
    if (base + Offset < 0) {
      errno = EINVAL;
      return -1;
    }
    FPos = static_cast<std::uint64_t>(base + Offset);
    return 0;
  }
  std::uint64_t Tell() const { return FPos; }

  // Raises the first failure of a read or write.
  void Check() const {
    if (FError != 0) Fail("Cannot write", FError);
  }

  // Writes what is cached, grows the file to a multiple of PadTo bytes
  // (1: as it is) and closes it.
  void Close(std::uint64_t PadTo) {
    fclose(FStream);
    FStream = nullptr;
    if (FSize % PadTo != 0) FSize += PadTo - FSize % PadTo;
    for (TPage& p : FPages) WriteOut(p);
    Check();
    if (ftruncate(FFd, static_cast<off_t>(FSize)) != 0) Fail("Cannot write", errno);
    CloseFile();
  }

private:
  static constexpr std::size_t PageSize = 64 * 1024;
  static constexpr std::size_t Slots = 16;
  struct TPage {
    std::uint64_t Number = UINT64_MAX;  // the page held; UINT64_MAX: none
    bool Dirty = false;
    std::unique_ptr<char[]> Data;
  };

  // Closes the stream; the staged file itself goes with the base.
  void Discard() {
    if (FStream) fclose(FStream);
    FStream = nullptr;
  }

  void Failed(int Code) {
    if (FError == 0) FError = Code != 0 ? Code : EIO;
  }

  // Writes a dirty page to the file, up to the file's end.
  void WriteOut(TPage& P) {
    if (!P.Dirty) return;
    P.Dirty = false;
    const std::uint64_t start = P.Number * PageSize;
    std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(PageSize, FSize - start));
    const char* data = P.Data.get();
    auto offset = static_cast<off_t>(start);
    while (count > 0 && FError == 0) {
      const ssize_t n = pwrite(FFd, data, count, offset);
      if (n < 0) {
        if (errno == EINTR) continue;
        Failed(errno);
        return;
      }
      if (n == 0) {
        Failed(ENOSPC);
        return;
      }
      data += n;
      count -= static_cast<std::size_t>(n);
      offset += n;
    }
    FOnDisk = std::max<std::uint64_t>(FOnDisk, static_cast<std::uint64_t>(offset));
  }

  // The page Number, read from the file when it has been written out before.
  TPage& Page(std::uint64_t Number) {
    TPage& p = FPages[Number == 0 ? 0 : 1 + (Number - 1) % (Slots - 1)];
    if (p.Number == Number) return p;
    WriteOut(p);
    p.Number = Number;
    std::size_t have = 0;
    const std::uint64_t start = Number * PageSize;
    while (start + have < FOnDisk && have < PageSize && FError == 0) {
      const ssize_t n = pread(FFd, p.Data.get() + have, PageSize - have, static_cast<off_t>(start + have));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Failed(errno);
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    std::memset(p.Data.get() + have, 0, PageSize - have);
    return p;
  }

  static ssize_t CookieRead(void* Cookie, char* Buffer, std::size_t Count) {
    return static_cast<ssize_t>(static_cast<TPagedFile*>(Cookie)->Read(Buffer, Count));
  }
  static ssize_t CookieWrite(void* Cookie, const char* Buffer, std::size_t Count) {
    return static_cast<ssize_t>(static_cast<TPagedFile*>(Cookie)->Write(Buffer, Count));
  }
  static int CookieSeek(void* Cookie, off64_t* Position, int Whence) {
    auto* f = static_cast<TPagedFile*>(Cookie);
    if (f->Seek(*Position, Whence) != 0) return -1;
    *Position = static_cast<off64_t>(f->FPos);
    return 0;
  }
  static int CookieClose(void*) { return 0; }

  FILE* FStream = nullptr;
  int FError = 0;              // errno of the first failed read or write
  std::uint64_t FPos = 0;      // the stream's position
  std::uint64_t FSize = 0;     // the file's size as pxlib sees it
  std::uint64_t FOnDisk = 0;   // how far the file has been written
  TPage FPages[Slots];
};

// ---- The writer ----------------------------------------------------------------

void StartPxlib() {
  static std::once_flag once;
  std::call_once(once, [] { PX_boot(); });
}

class TParadoxWriter final : public TTableFileWriter {
public:
  TParadoxWriter(const std::string& Path, std::vector<TColumn> Columns, int RecordSize);
  ~TParadoxWriter() override;
  void Append(const std::vector<TCell>& Cells) override;
  void Finish() override;

private:
  static void ErrorHandler(pxdoc_t* Doc, int Level, const char* Message, void* Data);
  static TPagedFile& TableOf(pxdoc_t* Doc) { return *static_cast<TParadoxWriter*>(Doc->errorhandler_user_data)->FTable; }
  static std::size_t StreamRead(pxdoc_t* Doc, pxstream_t*, std::size_t Count, void* Buffer) {
    return TableOf(Doc).Read(Buffer, Count);
  }
  static std::size_t StreamWrite(pxdoc_t* Doc, pxstream_t*, std::size_t Count, void* Buffer) {
    return TableOf(Doc).Write(Buffer, Count);
  }
  static int StreamSeek(pxdoc_t* Doc, pxstream_t*, long Offset, int Whence) { return TableOf(Doc).Seek(Offset, Whence); }
  static long StreamTell(pxdoc_t* Doc, pxstream_t*) { return static_cast<long>(TableOf(Doc).Tell()); }
  void CheckPxlib(bool Failed, const char* What);
  void CheckUsable() const;
  void MoveIntoPlace();

  std::string FPath;
  std::vector<TColumn> FColumns;
  int FRecordSize;
  std::string FPxError;                 // the last error pxlib reported
  std::unique_ptr<TPagedFile> FTable;
  std::unique_ptr<TPagedFile> FBlobs;   // null when no field needs the .mb file
  // Closing writes into the files' streams: declared after them, it goes first.
  struct TDocCloser {
    void operator()(pxdoc_t* Doc) const {
      // pxlib up to 0.6.8 frees neither the stream nor the header of a blob
      // file it was handed as a FILE (it does for one it opened itself).
      pxstream_t* blobStream = nullptr;
      mbhead_t* blobHead = nullptr;
      if (Doc->px_blob && PX_get_majorversion() == 0 &&
          (PX_get_minorversion() < 6 || (PX_get_minorversion() == 6 && PX_get_subminorversion() <= 8))) {
        blobStream = Doc->px_blob->mb_stream;
        blobHead = Doc->px_blob->mb_head;
      }
      PX_close(Doc);
      PX_delete(Doc);
      std::free(blobStream);
      std::free(blobHead);
    }
  };
  std::unique_ptr<pxdoc_t, TDocCloser> FDoc;
  std::unique_ptr<char[]> FRecord;
  std::string FScratch;                 // an alpha value with its terminating zero, a BCD text
  std::vector<std::size_t> FPendingBlobs;  // columns whose blob is written once the record is accepted
  std::uint64_t FAppends = 0;           // Append calls, for messages
  std::uint64_t FRecords = 0;
  std::uint64_t FMaxRecords = 0;        // what 65535 blocks hold
  bool FFinished = false;
  bool FFailed = false;
};

void TParadoxWriter::ErrorHandler(pxdoc_t*, int Level, const char* Message, void* Data) {
  if (Level == PX_Warning) return;
  static_cast<TParadoxWriter*>(Data)->FPxError = Message ? Message : "unknown error";
}

TParadoxWriter::TParadoxWriter(const std::string& Path, std::vector<TColumn> Columns, int RecordSize)
    : FPath(Path), FColumns(std::move(Columns)), FRecordSize(RecordSize) {
  StartPxlib();
  const bool hasBlobs =
      std::any_of(FColumns.begin(), FColumns.end(), [](const TColumn& C) { return C.Kind == TKind::Blob; });
  const std::string blobPath = ChangeFileExt(Path, ".mb");
  if (hasBlobs && blobPath == Path)
    throw EDatabaseError("Table " + Path + ": its blob file would have the table's own name");
  FTable = std::make_unique<TPagedFile>(Path);
  if (hasBlobs) FBlobs = std::make_unique<TPagedFile>(blobPath);

  FDoc.reset(PX_new3(&TParadoxWriter::ErrorHandler, nullptr, nullptr, nullptr, this));
  if (!FDoc) throw EDatabaseError("Table " + Path + ": pxlib could not start a table");
  // pxlib takes the field array and the names and frees them with free().
  auto* fields = static_cast<pxfield_t*>(std::malloc(sizeof(pxfield_t) * FColumns.size()));
  if (!fields) throw EDatabaseError("Table " + Path + ": out of memory");
  for (std::size_t i = 0; i < FColumns.size(); ++i) {
    fields[i].px_fname = strdup(FColumns[i].Name.c_str());
    fields[i].px_ftype = FColumns[i].Type;
    fields[i].px_flen = FColumns[i].Size;
    fields[i].px_fdc = FColumns[i].Decimals;
  }
  CheckPxlib(PX_create_fp(FDoc.get(), fields, static_cast<int>(FColumns.size()), FTable->Stream(),
                          pxfFileTypNonIndexDB) < 0,
             "create the table");
  // The record loop calls the stream functions some 700 times a record,
  // mostly for the header, which pxlib rewrites field by field: going to the
  // cache straight rather than through stdio makes the table three times as
  // fast. Both ways reach the same cache and position, as the stream is
  // unbuffered.
  if (pxstream_t* stream = FDoc->px_stream) {
    stream->read = &TParadoxWriter::StreamRead;
    stream->write = &TParadoxWriter::StreamWrite;
    stream->seek = &TParadoxWriter::StreamSeek;
    stream->tell = &TParadoxWriter::StreamTell;
  }
  std::string tableName = ExtractFileName(Path);
  if (tableName.size() > 78) tableName.resize(78);   // the header holds 79 bytes with the zero
  CheckPxlib(PX_set_parameter(FDoc.get(), "tablename", tableName.c_str()) < 0, "name the table");
  if (FBlobs) CheckPxlib(PX_set_blob_fp(FDoc.get(), FBlobs->Stream()) < 0, "create the blob file");
  FTable->Check();
  if (FBlobs) FBlobs->Check();

  const int blockSize = FDoc->px_head->px_maxtablesize * 1024;
  const int perBlock = (blockSize - 6) / FRecordSize;
  FMaxRecords = std::uint64_t{MaxBlocks} * static_cast<std::uint64_t>(std::max(perBlock, 0));
  FRecord = std::make_unique<char[]>(static_cast<std::size_t>(FRecordSize));
  FScratch.reserve(400);
  FPendingBlobs.reserve(FColumns.size());
}

// Without Finish the files' destructors remove the temporaries.
TParadoxWriter::~TParadoxWriter() = default;

void TParadoxWriter::CheckPxlib(bool Failed, const char* What) {
  FTable->Check();
  if (FBlobs) FBlobs->Check();
  if (Failed) {
    FFailed = true;
    throw EDatabaseError("Table " + FPath + ": pxlib could not " + What +
                         (FPxError.empty() ? std::string() : ": " + FPxError));
  }
}

void TParadoxWriter::CheckUsable() const {
  if (FFinished) throw EDatabaseError("Table " + FPath + " is already finished");
  if (FFailed) throw EInOutError("Cannot write " + FPath + ": an earlier write to the table failed", 0);
}

void TParadoxWriter::Append(const std::vector<TCell>& Cells) {
  CheckUsable();
  ++FAppends;
  if (Cells.size() != FColumns.size())
    throw EDatabaseError("Table " + FPath + ", record " + std::to_string(FAppends) + ": " +
                         std::to_string(Cells.size()) + " values for " + std::to_string(FColumns.size()) +
                         " fields");
  if (FRecords >= FMaxRecords)
    throw EDatabaseError("Table " + FPath + ", record " + std::to_string(FAppends) +
                         ": a Paradox table of " + std::to_string(FRecordSize) + "-byte records holds at most " +
                         std::to_string(FMaxRecords) + " records");
  char* rec = FRecord.get();
  std::memset(rec, 0, static_cast<std::size_t>(FRecordSize));
  FPendingBlobs.clear();
  std::uint64_t blobBytes = 0;
  // Every value is checked and put into the record before anything is
  // written, so a rejected record leaves the files as they were.
  for (std::size_t i = 0; i < FColumns.size(); ++i) {
    const TColumn& c = FColumns[i];
    const TCell& cell = Cells[i];
    if (cell.Null) continue;   // all zero bytes
    char* p = rec + c.Offset;
    switch (c.Kind) {
      case TKind::Alpha: {
        const std::string_view t = cell.Text;
        if (t.size() > static_cast<std::size_t>(c.Size))
          Reject(c, FAppends, Quoted(t), "is longer than the field's " + std::to_string(c.Size) + " bytes");
        if (t.find('\0') != std::string_view::npos)
          Reject(c, FAppends, Quoted(t), "contains a zero byte, which ends an alpha field's text");
        FScratch.assign(t);
        PX_put_data_alpha(FDoc.get(), p, c.Size, FScratch.data());
        break;
      }
      case TKind::Blob:
        if (cell.Text.size() > static_cast<std::size_t>(INT_MAX))
          Reject(c, FAppends, Quoted(cell.Text), "is longer than a blob holds");
        // A blob takes at most its size, a block header and padding to 4 KiB.
        blobBytes += cell.Text.size() + 2 * MbBlockSize;
        if (FBlobs->Size() + blobBytes > MaxMbSize)
          Reject(c, FAppends, Quoted(cell.Text), "does not fit the blob file's 4 GiB");
        if (!cell.Text.empty()) FPendingBlobs.push_back(i);   // an empty blob has NULL's bytes
        break;
      case TKind::Short:
        if (cell.Int < -32767 || cell.Int > 32767)
          Reject(c, FAppends, std::to_string(cell.Int), "is outside a short field's -32767 to 32767");
        PX_put_data_short(FDoc.get(), p, c.Size, static_cast<short>(cell.Int));
        break;
      case TKind::Long:
        if (cell.Int < -2147483647 || cell.Int > 2147483647)
          Reject(c, FAppends, std::to_string(cell.Int), "is outside a long field's -2147483647 to 2147483647");
        PX_put_data_long(FDoc.get(), p, c.Size, static_cast<int>(cell.Int));
        break;
      case TKind::Largeint:
        if (cell.Int < -MaxExactInteger || cell.Int > MaxExactInteger)
          Reject(c, FAppends, std::to_string(cell.Int),
                 "is outside the -2^53 to 2^53 a number field holds exactly");
        PX_put_data_double(FDoc.get(), p, c.Size, static_cast<double>(cell.Int));
        break;
      case TKind::Double:
        if (std::isnan(cell.Float)) Reject(c, FAppends, "NaN", "is not a number a number field can hold");
        if (cell.Float == 0 && std::signbit(cell.Float)) {
          // A negative number is stored with every bit inverted: -0 is
          // 0x7F followed by 0xFF. pxlib would store 0.
          p[0] = 0x7F;
          std::memset(p + 1, 0xFF, 7);
        } else {
          PX_put_data_double(FDoc.get(), p, c.Size, cell.Float);
        }
        break;
      case TKind::Bcd: {
        bool ok = false;
        std::string fromFloat;
        if (!cell.Text.empty()) {
          ok = BcdText(cell.Text, c.Decimals, FScratch);
        } else if (std::isfinite(cell.Float)) {
          // No decimal text: the double's value with the field's places,
          // taken only when it converts back to the same double.
          char buf[400];
          std::snprintf(buf, sizeof buf, "%.*f", c.Decimals, cell.Float);
          fromFloat = buf;
          ok = std::strtod(buf, nullptr) == cell.Float && BcdText(fromFloat, c.Decimals, FScratch);
        }
        if (!ok)
          Reject(c, FAppends, cell.Text.empty() ? DoubleText(cell.Float) : Quoted(cell.Text),
                 "is not a decimal number of at most " + std::to_string(BcdDigits - c.Decimals) +
                     " integer digits and " + std::to_string(c.Decimals) + " decimal places");
        PX_put_data_bcd(FDoc.get(), p, c.Decimals, FScratch.data());
        break;
      }
      case TKind::Logical: PX_put_data_byte(FDoc.get(), p, c.Size, cell.Bool ? 1 : 0); break;
      case TKind::Date:
        if (!ValidDate(cell.Date)) Reject(c, FAppends, DateText(cell.Date), "is not a date of the years 1 to 9999");
        PX_put_data_long(FDoc.get(), p, c.Size, DayNumber(cell.Date));
        break;
      case TKind::Time:
        if (cell.TimeMs < 0 || cell.TimeMs >= MsPerDay)
          Reject(c, FAppends, TimeText(cell.TimeMs), "is not a time of day");
        PX_put_data_long(FDoc.get(), p, c.Size, cell.TimeMs);
        break;
      case TKind::Timestamp:
        if (!ValidDate(cell.Date) || cell.TimeMs < 0 || cell.TimeMs >= MsPerDay)
          Reject(c, FAppends, DateText(cell.Date) + ", " + TimeText(cell.TimeMs),
                 "is not a date and time of the years 1 to 9999");
        // Exact: at most 3.2e14 milliseconds, well below 2^53.
        PX_put_data_double(FDoc.get(), p, c.Size,
                           static_cast<double>(DayNumber(cell.Date)) * MsPerDay + static_cast<double>(cell.TimeMs));
        break;
    }
  }
  for (const std::size_t i : FPendingBlobs) {
    const std::string_view t = Cells[i].Text;
    const TColumn& c = FColumns[i];
    FFailed = true;   // a blob written and the record not: the table is no longer usable
    CheckPxlib(PX_put_data_blob(FDoc.get(), rec + c.Offset, c.Size, const_cast<char*>(t.data()),
                                static_cast<int>(t.size())) < 0,
               "write a blob");
    FFailed = false;
  }
  FFailed = true;
  CheckPxlib(PX_put_record(FDoc.get(), rec) < 0, "write a record");
  FFailed = false;
  ++FRecords;
}

void TParadoxWriter::Finish() {
  CheckUsable();
  FFailed = true;
  FDoc.reset();   // writes the last block and the header
  FTable->Check();
  if (FBlobs) FBlobs->Check();
  FTable->Close(1);
  if (FBlobs) FBlobs->Close(MbBlockSize);
  MoveIntoPlace();
  FFailed = false;
  FFinished = true;
}

// Moves the blob file, then the table into place (see MoveTableIntoPlace).
// A table without blob fields removes the blob file of the table it replaces.
void TParadoxWriter::MoveIntoPlace() {
  const std::string blobPath = ChangeFileExt(FPath, ".mb");
  MoveTableIntoPlace(blobPath, FBlobs ? std::function<void()>([this] { FBlobs->MoveIntoPlace(); }) : nullptr,
                     [this] { FTable->MoveIntoPlace(); });
  if (!FBlobs && blobPath != FPath) unlink(blobPath.c_str());
}

// The column of a field definition.
TColumn ColumnFor(const TTableFieldDef& Field) {
  TColumn c;
  c.Name = Field.Name;
  auto set = [&c](TKind Kind, char Type, int Size) {
    c.Kind = Kind;
    c.Type = Type;
    c.Size = Size;
  };
  switch (Field.DataType) {
    case ftString:
      if (Field.Size < 1) RejectDefinition(Field, "a string field needs a length of at least 1");
      if (Field.Size <= MaxAlphaSize) set(TKind::Alpha, pxfAlpha, Field.Size);
      else set(TKind::Blob, pxfMemoBLOb, BlobFieldSize);
      break;
    case ftMemo: set(TKind::Blob, pxfMemoBLOb, BlobFieldSize); break;
    case ftBlob: set(TKind::Blob, pxfBLOb, BlobFieldSize); break;
    case ftSmallint: set(TKind::Short, pxfShort, 2); break;
    case ftInteger:
    case ftWord:
    case ftAutoInc: set(TKind::Long, pxfLong, 4); break;
    case ftLargeint: set(TKind::Largeint, pxfNumber, 8); break;
    case ftFloat: set(TKind::Double, pxfNumber, 8); break;
    case ftCurrency: set(TKind::Double, pxfCurrency, 8); break;
    case ftBCD:
      if (Field.Size < 0 || Field.Size > BcdDigits)
        RejectDefinition(Field, "a BCD field has 0 to 32 decimal places, not " + std::to_string(Field.Size));
      set(TKind::Bcd, pxfBCD, BcdFieldSize);
      c.Decimals = Field.Size;
      break;
    case ftBoolean: set(TKind::Logical, pxfLogical, 1); break;
    case ftDate: set(TKind::Date, pxfDate, 4); break;
    case ftTime: set(TKind::Time, pxfTime, 4); break;
    case ftDateTime: set(TKind::Timestamp, pxfTimestamp, 8); break;
    default: RejectDefinition(Field, "the format has no column for its type");
  }
  return c;
}

}  // namespace

std::unique_ptr<TTableFileWriter> CreateParadoxWriter(const std::string& Path,
                                                      const std::vector<TTableFieldDef>& Fields) {
  if (Fields.empty()) throw EDatabaseError("Table " + Path + ": a Paradox table needs at least one field");
  if (Fields.size() > static_cast<std::size_t>(MaxFields))
    throw EDatabaseError("Table " + Path + ": a Paradox table holds at most 255 fields, not " +
                         std::to_string(Fields.size()));
  std::vector<TColumn> columns;
  columns.reserve(Fields.size());
  int offset = 0;
  for (std::size_t i = 0; i < Fields.size(); ++i) {
    const TTableFieldDef& f = Fields[i];
    if (f.Name.empty()) throw EDatabaseError("A field without a name cannot be stored in a Paradox table");
    if (f.Name.size() > static_cast<std::size_t>(MaxNameLength))
      RejectDefinition(f, "its name is longer than 25 characters");
    if (f.Name.find('\0') != std::string::npos) RejectDefinition(f, "its name contains a zero byte");
    for (std::size_t j = 0; j < i; ++j)
      if (SameText(Fields[j].Name, f.Name)) throw EDatabaseError("Field name '" + f.Name + "' is taken twice");
    columns.push_back(ColumnFor(f));
    columns.back().Offset = offset;
    offset += columns.back().Size;
  }
  if (offset > MaxRecordSize)
    throw EDatabaseError("Table " + Path + ": records of " + std::to_string(offset) +
                         " bytes do not fit a Paradox table's " + std::to_string(MaxRecordSize));
  return std::make_unique<TParadoxWriter>(Path, std::move(columns), offset);
}

}  // namespace vcl::detail
