// The dataset exporter: its settings and file-name rules, the text format
// byte for byte, and its failures, on real SQLite queries.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <vcl/Forms.h>

#include "DBExportQry.h"
#include "Decoders.h"
#include "SampleDatabase.h"

namespace {

using namespace tolvane;
using namespace vcl;
namespace fs = std::filesystem;

std::string Slurp(const fs::path& P) {
  std::ifstream in(P, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(ExportSettingsTest, DefaultsAndTheFileNameRules) {
  TDBExportQry e(nullptr);
  EXPECT_EQ(e.GetFileName(), "QRYRESLT.dbf");
  EXPECT_EQ(e.GetDelimiter(), deCOMMA);
  EXPECT_EQ(e.DelimiterChar(), ',');
  EXPECT_EQ(e.GetQuoteCharacter(), qcDOUBLEQUOTE);
  EXPECT_EQ(e.QuoteChar(), '"');
  EXPECT_TRUE(e.GetSaveColumnNames());
  EXPECT_EQ(e.GetExportType(), ttDBase);

  struct Row {
    const char* Before;
    TTableType Type;
    const char* After;
  } types[] = {
      {"QRYRESLT.dbf", ttASCII, "QRYRESLT.txt"},
      {"QRYRESLT.txt", ttParadox, "QRYRESLT.pdx"},
      {"QRYRESLT.pdx", ttDefault, "QRYRESLT.dbf"},
      {"report", ttASCII, "REPORT.txt"},
      {"C:\\Data\\Out.txt", ttParadox, "C:\\DATA\\OUT.pdx"},       // no "/": the whole name is the file's
      {"/home/me/report", ttASCII, "/home/me/REPORT.txt"},         // directories keep their case
      {"/home/me.d/x.y.z", ttDBase, "/home/me.d/X.Y.dbf"},
#if TVCL_VERSION >= 4
      {"/tmp/fox.txt", ttFoxPro, "/tmp/FOX.dbf"},                 // FoxPro tables are .dbf files
#endif
  };
  for (const Row& r : types) {
    e.SetFileName(r.Before);
    EXPECT_EQ(e.GetFileName(), r.Before) << "setting FileName alone never changes it";
    e.SetExportType(r.Type);
    EXPECT_EQ(e.GetFileName(), r.After);
  }

  struct SaveRow {
    TTableType Type;
    const char* Given;
    const char* Kept;
  } saves[] = {
      {ttDBase, "out", "out.dbf"},
      {ttDBase, "OUT.DBF", "OUT.DBF"},
      {ttASCII, "Data.TXT", "Data.TXT"},
      {ttASCII, "data.csv", "data.csv.txt"},
      {ttParadox, "p", "p.pdx"},
      {ttASCII, "", ""},
  };
  for (const SaveRow& r : saves) {
    e.SetExportType(r.Type);
    e.SaveToFile(r.Given);   // no dataset: nothing is written
    EXPECT_EQ(e.GetFileName(), r.Kept);
  }
  e.SetExportType(ttASCII);
  e.SaveToFile("again");
  e.ExportData();
  EXPECT_EQ(e.GetFileName(), "again.txt") << "repeated exports do not grow the name";

  e.SetDelimiter(deNONE);
  EXPECT_EQ(e.DelimiterChar(), '\0');
  e.SetQuoteChar(qcNONE);
  EXPECT_EQ(e.QuoteChar(), '\0');
  e.SetDelimiter(deBAR);
  EXPECT_EQ(e.DelimiterChar(), '|');
}

TEST(ExportSettingsTest, StoredExportTypeRewritesTheStoredFileNameOnLoading) {
  RegisterClass(&TDBExportQry::ClassInfo);
  TDBExportQry e(nullptr);
  e.SetExportType(ttASCII);
  e.SetFileName("report.csv");
  const std::string text = WriteComponentText(e);
  EXPECT_EQ(text.find("ExportType"), text.rfind("ExportType"));
  EXPECT_LT(text.find("FileName"), text.find("ExportType"));
  std::unique_ptr<TComponent> copy(ReadComponentText(text, nullptr));
  EXPECT_EQ(As<TDBExportQry>(copy.get())->GetFileName(), "REPORT.txt");
  // ttDBase is the default and not stored: nothing is rewritten.
  TDBExportQry d(nullptr);
  d.SetFileName("keep.me");
  std::unique_ptr<TComponent> copy2(ReadComponentText(WriteComponentText(d), nullptr));
  EXPECT_EQ(As<TDBExportQry>(copy2.get())->GetFileName(), "keep.me");
  UnRegisterClass(&TDBExportQry::ClassInfo);
}

class ExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::path(tolvane::test::TestTempDir()) /
          ("export-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Db = tolvane::test::MakeDatabase((Dir / "x.db").string(), R"sql(
      CREATE TABLE p (Name VARCHAR(8), Qty INTEGER);
      INSERT INTO p VALUES ('Smith', 42);
      CREATE TABLE k (s VARCHAR(6), i INTEGER, sm SMALLINT, r REAL, m MONEY, n NUMERIC(8,2), b BOOLEAN, d DATE);
      INSERT INTO k VALUES ('O''Neil', 1, 2, 2.5, 3.75, 4.5, 1, '2024-01-31');
      INSERT INTO k VALUES ('''', 10, 20, 0.1, 0, 0, 0, '1999-12-31');
      INSERT INTO k VALUES ('abcdef', -1, -2, -2.5, -3, -4, 0, '2000-02-29');
    )sql");
    Query = std::make_unique<TQuery>(nullptr);
    Query->SetDatabaseName(Db);
    Export.SetDataSet(Query.get());
    Export.SetExportType(ttASCII);
  }
  std::string ExportText(const std::string& Sql, TDelimiter D, TQuoteChar Q, bool Header = true) {
    Query->SetSQL(Sql);
    Query->Open();
    Export.SetDelimiter(D);
    Export.SetQuoteChar(Q);
    Export.SetSaveColumnNames(Header);
    Export.SaveToFile((Dir / "out").string());
    return Slurp(Dir / "out.txt");
  }
  fs::path Dir;
  std::string Db;
  std::unique_ptr<TQuery> Query;
  TDBExportQry Export{nullptr};
};

TEST_F(ExportTest, TheWrittenExamplesByteForByte) {
  struct Row {
    TDelimiter D;
    TQuoteChar Q;
    const char* Expected;
  } rows[] = {
      {deCOMMA, qcDOUBLEQUOTE, "\"Name\",\"Qty\"\r\n\"Smith\",42\r\n"},
      {deTAB, qcNONE, "Name\tQty\r\nSmith\t42\r\n"},
      // No delimiter: padded to one more than the display width (8 and 11).
      {deNONE, qcNONE, "NameQty\r\nSmith    42          \r\n"},
      {deNONE, qcSINGEQUOTE, "'Name''Qty'\r\n'Smith    '42          \r\n"},
  };
  for (const Row& r : rows) EXPECT_EQ(ExportText("SELECT * FROM p", r.D, r.Q), r.Expected);
  EXPECT_EQ(Query->RecNo(), 1) << "the query is back on its first record";
}

TEST_F(ExportTest, QuotingAndPaddingFollowTheFieldTypes) {
  // Integer, small-integer and float fields are bare; money, numeric,
  // Boolean and date fields are quoted; a lone quote character is doubled,
  // a quote inside a longer text is not.
  EXPECT_EQ(ExportText("SELECT * FROM k", deCOMMA, qcSINGEQUOTE, false),
            "'O'Neil',1,2,2.5,'3.75','4.5','True','2024-01-31'\r\n"
            "'',10,20,0.1,'0','0','False','1999-12-31'\r\n"
            "'abcdef',-1,-2,-2.5,'-3','-4','False','2000-02-29'\r\n");
  // Padding comes before quoting: the padded lone quote is quoted normally;
  // a value exactly as wide as the column gets one space.
  EXPECT_EQ(ExportText("SELECT s FROM k", deNONE, qcSINGEQUOTE, false),
            "'O'Neil '\r\n"
            "''      '\r\n"
            "'abcdef '\r\n");
}

TEST_F(ExportTest, EmptyQueriesGiveTheHeaderOrNothing) {
  EXPECT_EQ(ExportText("SELECT * FROM p WHERE 0", deCOMMA, qcDOUBLEQUOTE, true), "\"Name\",\"Qty\"\r\n");
  EXPECT_EQ(ExportText("SELECT * FROM p WHERE 0", deCOMMA, qcDOUBLEQUOTE, false), "");
}

TEST_F(ExportTest, NothingHappensWithoutAnOpenDataset) {
  Query->SetSQL("SELECT * FROM p");
  Export.SaveToFile((Dir / "closed").string());
  EXPECT_EQ(Export.GetFileName(), (Dir / "closed.txt").string());
  EXPECT_FALSE(fs::exists(Dir / "closed.txt"));
  Query.reset();   // freed: the exporter forgets it
  EXPECT_EQ(Export.GetDataSet(), nullptr);
  Export.Execute();
}

// A dataset that is neither a query nor a database dataset.
class TPlainDataSet : public TDataSet {
public:
  using TDataSet::TDataSet;

protected:
  std::unique_ptr<TSqlCursor> OpenCursor() override {
    struct TOne : TSqlCursor {
      std::vector<TSqlColumn> Cols{{"a", "INTEGER"}};
      bool Done = false;
      const std::vector<TSqlColumn>& Columns() const override { return Cols; }
      bool Step(std::vector<TSqlValue>& Row) override {
        if (Done) return false;
        Done = true;
        Row.assign(1, TSqlValue{TSqlValue::Integer, 1, 0, {}});
        return true;
      }
      void Rewind() override { Done = false; }
    };
    return std::make_unique<TOne>();
  }
};

TEST_F(ExportTest, FailuresRaiseClearErrorsAndLeaveNoStateBehind) {
  TPlainDataSet plain(nullptr);
  plain.Open();
  Export.SetDataSet(&plain);
  // Not a query: the invalid cast comes after the (empty) file was created.
  EXPECT_THROW(Export.SaveToFile((Dir / "plain").string()), EInvalidCast);
  EXPECT_TRUE(fs::exists(Dir / "plain.txt"));
  EXPECT_EQ(fs::file_size(Dir / "plain.txt"), 0u);
  // Not a database dataset: the table export fails the same way, and the
  // cursor is back as it was.
  Screen().SetCursor(crHandPoint);
  Export.SetExportType(ttDBase);
  EXPECT_THROW(Export.SaveToFile((Dir / "plain").string()), EInvalidCast);
  EXPECT_EQ(Screen().GetCursor(), crHandPoint);
  Screen().SetCursor(crDefault);

  Query->SetSQL("SELECT * FROM p");
  Query->Open();
  Export.SetDataSet(Query.get());
  Export.SetExportType(ttASCII);
  try {
    Export.SaveToFile((Dir / "no-such-dir" / "out").string());
    ADD_FAILURE() << "no error for a missing directory";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("no-such-dir/out.txt"), std::string::npos) << e.what();
  }
  // A full disk: the error reaches the caller; the file is closed either way.
  Export.SetFileName("/dev/full");
  EXPECT_THROW(Export.Execute(), EInOutError);
}

}  // namespace

namespace {

// The table export end to end: a query through the component into a dBASE
// file that an independent reader opens with every value intact.
TEST_F(ExportTest, TableExportIsReadBackByAnIndependentReader) {
  tolvane::test::MakeDatabase(Db, R"sql(
    CREATE TABLE s (sku VARCHAR(13), name VARCHAR(24), qty INTEGER, price MONEY, active BOOLEAN, received DATE);
    INSERT INTO s VALUES ('4006381333931', 'Highlighter', 120, 1.25, 1, '2026-11-02');
    INSERT INTO s VALUES ('5512345000017', 'O''Neil "label"', -3, 0.1, 0, NULL);
  )sql");
  Query->SetSQL("SELECT * FROM s");
  Query->Open();
  Export.SetExportType(ttDBase);
  Screen().SetCursor(crHandPoint);
  Export.SaveToFile((Dir / "stock").string());
  EXPECT_EQ(Screen().GetCursor(), crHandPoint);
  EXPECT_EQ(Query->RecNo(), 1);
  const std::string dbf = (Dir / "stock.dbf").string();
  ASSERT_TRUE(fs::exists(dbf));
  int status = 0;
  const std::string out = tolvane::test::RunProgram(
      "/usr/bin/python3 -W ignore -c \"import dbf,sys\n"
      "t = dbf.Table(sys.argv[1]); t.open()\n"
      "print(';'.join(t.field_names))\n"
      "for r in t: print(';'.join(repr(v.strip() if isinstance(v, str) else v) for v in r))\" '" + dbf + "'",
      status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out,
            "sku;name;qty;price;active;received\n"
            "'4006381333931';'Highlighter';120;1.25;True;datetime.date(2026, 11, 2)\n"
            "'5512345000017';'O\\'Neil \"label\"';-3;0.1;False;None\n");

  // A value its column cannot hold stops the export with an error naming it,
  // and the table written before stays as it was.
  tolvane::test::MakeDatabase(Db, "CREATE TABLE w (c VARCHAR(3)); INSERT INTO w VALUES ('toolong');");
  const auto before = fs::last_write_time(dbf);
  Query->Close();
  Query->SetSQL("SELECT * FROM w");
  Query->Open();
  try {
    Export.SaveToFile((Dir / "stock").string());
    ADD_FAILURE() << "no error for a value that does not fit";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("toolong"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fs::last_write_time(dbf), before);
}

}  // namespace
