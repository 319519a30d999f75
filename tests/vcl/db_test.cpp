// The data-access layer over a real SQLite file: field types and texts,
// walking the records, errors, data sources.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <vcl/DB.h>

#include "Decoders.h"
#include "SampleDatabase.h"

namespace {

using namespace vcl;
namespace fs = std::filesystem;

class DataAccessTest : public ::testing::Test {
protected:
  void SetUp() override {
    // One folder per test: CTest runs the tests of a build in parallel.
    Dir = fs::path(tolvane::test::TestTempDir()) /
          ("db-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(Dir);
    Db = tolvane::test::MakeDatabase((Dir / "types.db").string(), R"sql(
      CREATE TABLE t (i INTEGER, s SMALLINT, b BIGINT, r REAL, n NUMERIC(10,2), m MONEY, f BOOLEAN,
                      d DATE, tm TIME, dt DATETIME, c VARCHAR(8), x TEXT, bl BLOB, u);
      INSERT INTO t VALUES (-2147483648, 7, 9007199254740993, 0.1, 12.5, 3.25, 1,
                            '2024-02-29', '13:05:09.250', '2024-03-01 08:00:00', 'Smith', 'long text', x'00FF', 5);
      INSERT INTO t VALUES (NULL, NULL, NULL, 1e300, NULL, NULL, 0, 2460370.5, '00:00', '2024-03-01T23:59:59',
                            NULL, NULL, NULL, 'text');
    )sql");
  }
  std::unique_ptr<TQuery> Query(const std::string& Sql) {
    auto q = std::make_unique<TQuery>(nullptr);
    q->SetDatabaseName(Db);
    q->SetSQL(Sql);
    return q;
  }
  fs::path Dir;
  std::string Db;
};

TEST_F(DataAccessTest, DeclaredTypesGiveFieldTypesTextsAndWidths) {
  auto q = Query("SELECT * FROM t");
  q->Open();
  struct Row {
    const char* Name;
    TFieldType Type;
    int Size, DisplayWidth;
    const char *First, *Second;   // AsString of the two records
  } rows[] = {
      {"i", ftInteger, 0, 11, "-2147483648", ""},            // NULL reads as empty
      {"s", ftSmallint, 0, 6, "7", ""},
      {"b", ftLargeint, 0, 20, "9007199254740993", ""},      // 2^53 + 1: kept exact as an integer
      {"r", ftFloat, 0, 10, "0.1", "1e+300"},                // shortest text that reads back exactly
      {"n", ftBCD, 2, 10, "12.5", ""},
      {"m", ftCurrency, 0, 10, "3.25", ""},
      {"f", ftBoolean, 0, 5, "True", "False"},
      {"d", ftDate, 0, 10, "2024-02-29", "2024-03-01"},      // a Julian day number reads as its date
      {"tm", ftTime, 0, 8, "13:05:09.250", "00:00:00"},
      {"dt", ftDateTime, 0, 19, "2024-03-01T08:00:00", "2024-03-01T23:59:59"},  // ISO 8601
      {"c", ftString, 8, 8, "Smith", ""},
      {"x", ftMemo, 0, 10, "long text", ""},
      {"bl", ftBlob, 0, 10, "", ""},                        // its bytes 00 FF are compared below
      {"u", ftInteger, 0, 11, "5", "text"},                  // no declared type: the first value's class
  };
  ASSERT_EQ(q->FieldCount(), static_cast<int>(std::size(rows)));
  for (int i = 0; i < q->FieldCount(); ++i) {
    const TField* f = q->Fields(i);
    const Row& r = rows[i];
    EXPECT_EQ(f->FieldName(), r.Name);
    EXPECT_EQ(f->DataType(), r.Type) << r.Name;
    EXPECT_EQ(f->Size(), r.Size) << r.Name;
    EXPECT_EQ(f->GetDisplayWidth(), r.DisplayWidth) << r.Name;
  }
  for (int rec = 0; rec < 2; ++rec) {
    ASSERT_FALSE(q->Eof());
    EXPECT_EQ(q->RecNo(), rec + 1);
    for (int i = 0; i < q->FieldCount(); ++i) {
      if (rows[i].Type == ftBlob && rec == 0) {
        EXPECT_EQ(q->Fields(i)->AsString(), std::string("\0\xFF", 2));
        continue;
      }
      if (rows[i].Type == ftInteger && rec == 1 && std::string(rows[i].Name) == "u") {
        // A text in a column typed from an integer is not an integer.
        EXPECT_THROW(q->Fields(i)->AsString(), EConvertError);
        continue;
      }
      EXPECT_EQ(q->Fields(i)->AsString(), rec == 0 ? rows[i].First : rows[i].Second) << rows[i].Name;
    }
    q->Next();
  }
  EXPECT_TRUE(q->Eof());
  EXPECT_EQ(q->FieldByName("I")->DataType(), ftInteger);   // names are found case-insensitively
  EXPECT_THROW(q->FieldByName("nope"), EDatabaseError);
}

TEST_F(DataAccessTest, FirstAfterTheEndWalksAgain) {
  auto q = Query("SELECT c FROM t WHERE c IS NOT NULL UNION ALL SELECT 'Jones'");
  q->Open();
  std::vector<std::string> seen;
  for (int pass = 0; pass < 2; ++pass) {
    for (q->First(); !q->Eof(); q->Next()) seen.push_back(q->Fields(0)->AsString());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Smith", "Jones", "Smith", "Jones"}));
  auto empty = Query("SELECT c FROM t WHERE 0");
  empty->Open();
  EXPECT_TRUE(empty->Eof());
  EXPECT_EQ(empty->RecNo(), 0);
  EXPECT_EQ(empty->FieldCount(), 1);
  EXPECT_EQ(empty->Fields(0)->AsString(), "");
}

TEST_F(DataAccessTest, ErrorsNameWhatWasWrong) {
  struct Row {
    std::string Database, Sql, Message;
  } rows[] = {
      {(Dir / "missing.db").string(), "SELECT 1", "does not exist"},
      {"", "SELECT 1", "no DatabaseName"},
      {Db, "SELEKT 1", "syntax error"},                  // SQLite's own message
      {Db, "SELECT nope FROM t", "no such column: nope"},
      {Db, "DELETE FROM t", "returns no rows"},          // read-only, and not a query anyway
      {Db, "SELECT 1; SELECT 2", "more than one SQL statement"},
  };
  for (const Row& r : rows) {
    TQuery q(nullptr);
    q.SetDatabaseName(r.Database);
    q.SetSQL(r.Sql);
    try {
      q.Open();
      ADD_FAILURE() << "no error for " << r.Sql;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(r.Message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(q.GetActive());
  }
  EXPECT_FALSE(fs::exists(Dir / "missing.db")) << "a missing database must not be created";
  TQuery q(nullptr);
  q.SetDatabaseName(Db);
  q.SetSessionName("Elsewhere");
  q.SetSQL("SELECT 1");
  EXPECT_THROW(q.Open(), EDatabaseError);
}

TEST_F(DataAccessTest, DataSourcesHearOpeningMovingEditingAndClosing) {
  auto q = Query("SELECT c FROM t");
  TDataSource src(nullptr);
  std::vector<std::string> heard;
  src.OnDataChange = [&](TObject*, TField* Field) {
    heard.push_back(Field ? "field " + Field->FieldName() : src.State() != dsInactive ? "data" : "closed");
  };
  src.SetDataSet(q.get());
  heard.clear();
  q->Open();
  q->Next();
  q->First();
  q->Edit();
  q->FieldByName("c")->SetAsString("Brown");
  EXPECT_EQ(q->FieldByName("c")->AsString(), "Brown");
  q->Cancel();
  EXPECT_EQ(q->FieldByName("c")->AsString(), "Smith");
  q->Close();
  EXPECT_EQ(heard, (std::vector<std::string>{"data", "data", "data", "data", "field c", "data", "closed"}));
  q->Open();
  q.reset();   // the source forgets a dataset that is freed
  EXPECT_EQ(src.GetDataSet(), nullptr);
  EXPECT_EQ(heard.back(), "closed");
}

}  // namespace
