// The data-access layer: sessions, datasets and their fields, queries over
// SQL drivers (SQLite built in), tables with batch moves into dBASE and
// Paradox files, data sources and the links of data-aware components.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "SqlDriver.h"

namespace vcl {

// A failure of the data-access layer: bad SQL, a missing database, a value a
// table cannot hold. The message names what was wrong.
class EDatabaseError : public Exception { using Exception::Exception; };

enum TFieldType : std::uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint,
};
extern const TEnumInfo FieldTypeInfo;

// The table types of a TTable. The text type's ordinal differs between the
// class library versions; code names the types, never their numbers.
#if TVCL_VERSION >= 4
enum TTableType : std::uint8_t { ttDefault, ttParadox, ttDBase, ttFoxPro, ttASCII };
#else
enum TTableType : std::uint8_t { ttDefault, ttParadox, ttDBase, ttASCII };
#endif
extern const TEnumInfo TableTypeInfo;

enum TBatchMode : std::uint8_t { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

enum TDataSetState : std::uint8_t { dsInactive, dsBrowse, dsEdit };

class TDataSet;
class TDataSource;

// A date and time as days since 1899-12-30 (the fraction is the time of day).
using TDateTime = double;

// ---- Fields -----------------------------------------------------------------

// One column of a dataset, read from its current record. Fields are made by
// the dataset when it opens and freed when it closes.
class TField : public TComponent {
  TVCL_CLASS(TField, TComponent)
  TField(TDataSet* ADataSet, int AIndex, std::string AFieldName, TFieldType ADataType, int ASize);

  TDataSet* DataSet() const { return FDataSet; }
  const std::string& FieldName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  // Characters of a string field, decimal places of a BCD field, else 0.
  int Size() const { return FSize; }
  int Index() const { return FIndex; }
  // Characters the field's text takes in a column; its type's default until set.
  int GetDisplayWidth() const { return FDisplayWidth; }
  void SetDisplayWidth(int Value) { FDisplayWidth = Value; }

  bool IsNull() const;
  // The value as text in the field type's format (NULL: empty). Raises
  // EConvertError naming the field when the stored value is not of its type.
  virtual std::string AsString() const;
  // The same text into Out (replacing what it held), reusing its storage;
  // AppendText adds it to the end of Out.
  void GetText(std::string& Out) const;
  void AppendText(std::string& Out) const;
  // The text shown in a control; the same as AsString.
  std::string DisplayText() const { return AsString(); }
  std::int32_t AsInteger() const;     // EConvertError outside 32 bits
  std::int64_t AsLargeInt() const;
  double AsFloat() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  // Changes the current record's value (the dataset must be in dsEdit) and
  // tells the dataset's data links.
  void SetAsString(const std::string& Value);

private:
  TDataSet* FDataSet;
  int FIndex;
  std::string FFieldName;
  TFieldType FDataType;
  int FSize;
  int FDisplayWidth;
  mutable std::string FScratch;   // GetText's converted text, kept for its storage
};

// ---- Data links and sources -------------------------------------------------

// The connection of a data-aware component to a data source. The source
// calls these as its dataset opens, closes, moves and changes.
class TDataLink {
public:
  virtual ~TDataLink();
  TDataSource* GetDataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* Value);
  TDataSet* DataSet() const;
  bool Active() const;

protected:
  friend class TDataSource;
  virtual void ActiveChanged() {}
  virtual void DataSetChanged() {}            // a new record, or the data as a whole
  virtual void RecordChanged(TField* /*Field*/) {}  // a field of the current record

private:
  TDataSource* FDataSource = nullptr;
};

class TDataSource : public TComponent {
  TVCL_CLASS(TDataSource, TComponent)
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;

  TDataSet* GetDataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* Value);
  TDataSetState State() const;

  std::function<void(TObject* Sender, TField* Field)> OnDataChange;

  // Called by the dataset; they reach every link and OnDataChange.
  void NotifyActiveChanged();
  void NotifyDataChanged(TField* Field);

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  friend class TDataLink;
  TDataSet* FDataSet = nullptr;
  std::vector<TDataLink*> FLinks;
};

// ---- Datasets ------------------------------------------------------------------

class TDataSet : public TComponent {
  TVCL_CLASS(TDataSet, TComponent)
  explicit TDataSet(TComponent* AOwner);
  ~TDataSet() override;

  bool GetActive() const { return FState != dsInactive; }
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }

  // Record navigation. First after the end starts the walk again.
  void First();
  void Next();
  bool Eof() const { return FEof; }
  // 1 for the first record; 0 when there is none.
  int RecNo() const { return FRecNo; }

  int FieldCount() const { return static_cast<int>(FFields.size()); }
  TField* Fields(int Index) const;
  TField* FindField(const std::string& Name) const;   // ASCII case-insensitive; null when absent
  TField* FieldByName(const std::string& Name) const; // EDatabaseError when absent

  // Puts the current record into dsEdit so its fields can be assigned;
  // Cancel returns to dsBrowse (the changes stay visible until the record is left).
  void Edit();
  void Cancel();

protected:
  friend class TField;
  friend class TDataSource;
  friend class TTable;   // a batch move reads its source's records
  // The open cursor of a concrete dataset; null when it cannot make one.
  virtual std::unique_ptr<TSqlCursor> OpenCursor() = 0;
  void Loaded() override;

private:
  void Fetch();
  void Leave();   // leaves dsEdit before the current record changes
  void MakeFields();
  void NotifyActive();
  void NotifyData(TField* Field);
  const TSqlValue& Value(int Index) const;
  void SetValue(int Index, const std::string& Text);

  TDataSetState FState = dsInactive;
  bool FOpenAfterLoad = false;
  bool FEof = true;
  int FRecNo = 0;
  std::unique_ptr<TSqlCursor> FCursor;
  std::vector<TSqlValue> FRow;        // the current record; storage reused from record to record
  std::vector<TSqlValue> FSavedRow;   // the record as it was when Edit began
  std::vector<TField*> FFields;
  std::vector<TDataSource*> FSources;
};

// A dataset of the layer's database engines: named by session.
class TBDEDataSet : public TDataSet {
  TVCL_CLASS(TBDEDataSet, TDataSet)
  using TDataSet::TDataSet;
};

class TDBDataSet : public TBDEDataSet {
  TVCL_CLASS(TDBDataSet, TBDEDataSet)
  using TBDEDataSet::TBDEDataSet;
  // For a query: the database file (an SQLite database by default; a
  // registered driver's prefix, "name:", picks another). For a table: the
  // directory of its file (empty: the current directory).
  const std::string& GetDatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  // The session the dataset belongs to; empty is the default session.
  const std::string& GetSessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);

private:
  std::string FDatabaseName;
  std::string FSessionName;
};

// A dataset of the rows an SQL statement returns, walked one at a time:
// the result is never held in memory whole.
class TQuery : public TDBDataSet {
  TVCL_CLASS(TQuery, TDBDataSet)
  explicit TQuery(TComponent* AOwner);
  // The statement; closes an open query.
  const std::string& GetSQL() const { return FSQL; }
  void SetSQL(const std::string& Value);

protected:
  std::unique_ptr<TSqlCursor> OpenCursor() override;

private:
  std::string FSQL;
};

// A table file. Reading tables is not offered; BatchMove copies a dataset
// into a new table.
class TTable : public TDBDataSet {
  TVCL_CLASS(TTable, TDBDataSet)
  explicit TTable(TComponent* AOwner);
  const std::string& GetTableName() const { return FTableName; }
  void SetTableName(const std::string& Value) { FTableName = Value; }
  TTableType GetTableType() const { return FTableType; }
  void SetTableType(TTableType Value) { FTableType = Value; }
  // batCopy: creates the table DatabaseName/TableName from Source's fields,
  // replacing one of that name, and copies every record of Source from its
  // first; Source is left on its first record. Other modes raise EDatabaseError.
  void BatchMove(TBDEDataSet* Source, TBatchMode Mode);

protected:
  std::unique_ptr<TSqlCursor> OpenCursor() override;

private:
  std::string FTableName;
  TTableType FTableType = ttDefault;
};

// ---- Sessions -------------------------------------------------------------------

class TSession : public TComponent {
  TVCL_CLASS(TSession, TComponent)
  explicit TSession(TComponent* AOwner);
  ~TSession() override;
  const std::string& GetSessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value) { FSessionName = Value; }

private:
  std::string FSessionName;
};

// The default session ("Default"), made on first use.
TSession& Session();
// The session of that name; the default one for an empty name or "Default".
// EDatabaseError when there is none.
TSession& FindSession(const std::string& Name);

}  // namespace vcl
