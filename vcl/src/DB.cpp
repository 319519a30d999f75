#include <vcl/DB.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "DBValues.h"
#include "TableFormats.h"

namespace vcl {

namespace {

constexpr const char* FieldTypeNames[] = {
    "ftUnknown", "ftString",    "ftSmallint", "ftInteger",     "ftWord",       "ftBoolean",   "ftFloat",
    "ftCurrency", "ftBCD",      "ftDate",     "ftTime",        "ftDateTime",   "ftBytes",     "ftVarBytes",
    "ftAutoInc", "ftBlob",      "ftMemo",     "ftGraphic",     "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle",
    "ftTypedBinary", "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint"};
static_assert(std::size(FieldTypeNames) == ftLargeint + 1);

#if TVCL_VERSION >= 4
constexpr const char* TableTypeNames[] = {"ttDefault", "ttParadox", "ttDBase", "ttFoxPro", "ttASCII"};
#else
constexpr const char* TableTypeNames[] = {"ttDefault", "ttParadox", "ttDBase", "ttASCII"};
#endif
static_assert(std::size(TableTypeNames) == ttASCII + 1);

}  // namespace

constinit const TEnumInfo FieldTypeInfo = {"TFieldType", FieldTypeNames, std::size(FieldTypeNames)};
constinit const TEnumInfo TableTypeInfo = {"TTableType", TableTypeNames, std::size(TableTypeNames)};

// ---- Fields ---------------------------------------------------------------------

constinit const TClassInfo TField::ClassInfo = {"TField", &TComponent::ClassInfo};

TField::TField(TDataSet* ADataSet, int AIndex, std::string AFieldName, TFieldType ADataType, int ASize)
    : TComponent(ADataSet), FDataSet(ADataSet), FIndex(AIndex), FFieldName(std::move(AFieldName)),
      FDataType(ADataType), FSize(ASize), FDisplayWidth(detail::DefaultDisplayWidth(ADataType, ASize)) {}

bool TField::IsNull() const { return FDataSet->Value(FIndex).Kind == TSqlValue::Null; }

std::string TField::AsString() const {
  detail::TCell cell;
  std::string scratch;
  detail::ToCell(FDataSet->Value(FIndex), FDataType, FFieldName, cell, scratch);
  return detail::CellText(cell, FDataType);
}

void TField::GetText(std::string& Out) const {
  Out.clear();
  AppendText(Out);
}

void TField::AppendText(std::string& Out) const {
  detail::TCell cell;
  detail::ToCell(FDataSet->Value(FIndex), FDataType, FFieldName, cell, FScratch);
  detail::AppendCellText(cell, FDataType, Out);
}

std::int64_t TField::AsLargeInt() const {
  const TSqlValue& v = FDataSet->Value(FIndex);
  detail::TCell cell;
  std::string scratch;
  detail::ToCell(v, ftLargeint, FFieldName, cell, scratch);
  return cell.Int;
}

std::int32_t TField::AsInteger() const {
  const std::int64_t v = AsLargeInt();
  if (v < INT32_MIN || v > INT32_MAX)
    throw EConvertError(std::to_string(v) + " in field " + FFieldName + " does not fit a 32-bit integer");
  return static_cast<std::int32_t>(v);
}

double TField::AsFloat() const {
  detail::TCell cell;
  std::string scratch;
  detail::ToCell(FDataSet->Value(FIndex), ftFloat, FFieldName, cell, scratch);
  return cell.Float;
}

bool TField::AsBoolean() const {
  detail::TCell cell;
  std::string scratch;
  detail::ToCell(FDataSet->Value(FIndex), ftBoolean, FFieldName, cell, scratch);
  return cell.Bool;
}

TDateTime TField::AsDateTime() const {
  detail::TCell cell;
  std::string scratch;
  const TFieldType t = FDataType == ftDate || FDataType == ftTime ? FDataType : ftDateTime;
  detail::ToCell(FDataSet->Value(FIndex), t, FFieldName, cell, scratch);
  if (cell.Null) return 0;
  if (t == ftTime) return cell.TimeMs / 86400000.0;
  return detail::ToDateTime(cell.Date, cell.TimeMs);
}

void TField::SetAsString(const std::string& Value) { FDataSet->SetValue(FIndex, Value); }

// ---- Data links and sources ------------------------------------------------------

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == FDataSource) return;
  if (FDataSource) {
    auto& links = FDataSource->FLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  FDataSource = Value;
  if (FDataSource) FDataSource->FLinks.push_back(this);
  ActiveChanged();
}

TDataSet* TDataLink::DataSet() const { return FDataSource ? FDataSource->GetDataSet() : nullptr; }
bool TDataLink::Active() const { return DataSet() && DataSet()->GetActive(); }

namespace {
constexpr TPropInfo DataSourceProps[] = {
    ComponentProp<TDataSource, TDataSet, &TDataSource::GetDataSet, &TDataSource::SetDataSet>("DataSet"),
};
}  // namespace

constinit const TClassInfo TDataSource::ClassInfo = {"TDataSource", &TComponent::ClassInfo, DataSourceProps,
                                                     std::size(DataSourceProps),
                                                     &ConstructComponent<TDataSource>};

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  // The links outlive the source only as unlinked.
  for (TDataLink* link : std::vector<TDataLink*>(FLinks)) link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet) {
    auto& srcs = FDataSet->FSources;
    srcs.erase(std::remove(srcs.begin(), srcs.end(), this), srcs.end());
    FDataSet->RemoveFreeNotification(this);
  }
  FDataSet = Value;
  if (FDataSet) {
    FDataSet->FSources.push_back(this);
    FDataSet->FreeNotification(this);
  }
  NotifyActiveChanged();
}

TDataSetState TDataSource::State() const { return FDataSet ? FDataSet->State() : dsInactive; }

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDataSet) {
    FDataSet = nullptr;   // the dataset is going: it has already dropped us
    NotifyActiveChanged();
  }
}

void TDataSource::NotifyActiveChanged() {
  for (TDataLink* link : std::vector<TDataLink*>(FLinks)) link->ActiveChanged();
  if (OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::NotifyDataChanged(TField* Field) {
  for (TDataLink* link : std::vector<TDataLink*>(FLinks)) {
    if (Field) link->RecordChanged(Field);
    else link->DataSetChanged();
  }
  if (OnDataChange) OnDataChange(this, Field);
}

// ---- Datasets ---------------------------------------------------------------------

namespace {
constexpr TPropInfo DataSetProps[] = {
    BooleanProp<TDataSet, &TDataSet::GetActive, &TDataSet::SetActive>("Active"),
};
}  // namespace

constinit const TClassInfo TDataSet::ClassInfo = {"TDataSet", &TComponent::ClassInfo, DataSetProps,
                                                  std::size(DataSetProps)};
constinit const TClassInfo TBDEDataSet::ClassInfo = {"TBDEDataSet", &TDataSet::ClassInfo};

TDataSet::TDataSet(TComponent* AOwner) : TComponent(AOwner) {}

TDataSet::~TDataSet() {
  SetComponentStateItem(csDestroying, true);
  if (GetActive()) {
    FCursor.reset();
    for (TField* f : FFields) delete f;
    FFields.clear();
    FState = dsInactive;
    NotifyActive();
  }
  for (TDataSource* s : std::vector<TDataSource*>(FSources)) s->SetDataSet(nullptr);
}

void TDataSet::SetActive(bool Value) {
  if (ComponentState().Contains(csLoading)) {
    FOpenAfterLoad = Value;   // opened once the whole form is read
    return;
  }
  if (Value == GetActive()) return;
  if (Value) {
    std::unique_ptr<TSqlCursor> cursor = OpenCursor();
    FCursor = std::move(cursor);
    FEof = !FCursor->Step(FRow);
    FRecNo = FEof ? 0 : 1;
    try {
      MakeFields();
    } catch (...) {
      FCursor.reset();
      throw;
    }
    FState = dsBrowse;
  } else {
    FCursor.reset();
    for (TField* f : FFields) delete f;
    FFields.clear();
    FRow.clear();
    FEof = true;
    FRecNo = 0;
    FState = dsInactive;
  }
  NotifyActive();
}

void TDataSet::MakeFields() {
  const auto& cols = FCursor->Columns();
  for (std::size_t i = 0; i < cols.size(); ++i) {
    TFieldType type;
    int size;
    detail::FieldTypeOf(cols[i], FEof ? nullptr : &FRow[i], type, size);
    FFields.push_back(new TField(this, static_cast<int>(i), cols[i].Name, type, size));
  }
  if (FEof) FRow.assign(cols.size(), TSqlValue{});
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (FOpenAfterLoad) SetActive(true);
}

void TDataSet::Leave() {
  if (FState == dsEdit) Cancel();
}

void TDataSet::First() {
  if (!GetActive()) throw EDatabaseError("cannot move in a closed dataset" + (GetName().empty() ? "" : " (" + GetName() + ")"));
  Leave();
  if (FRecNo == 1) return;   // already there: nothing to run again
  FCursor->Rewind();
  FEof = !FCursor->Step(FRow);
  FRecNo = FEof ? 0 : 1;
  if (FEof) std::fill(FRow.begin(), FRow.end(), TSqlValue{});
  NotifyData(nullptr);
}

void TDataSet::Next() {
  if (!GetActive()) throw EDatabaseError("cannot move in a closed dataset" + (GetName().empty() ? "" : " (" + GetName() + ")"));
  Leave();
  if (FEof) return;
  if (FCursor->Step(FRow)) {
    ++FRecNo;
    NotifyData(nullptr);
  } else {
    FEof = true;   // the fields keep showing the last record
  }
}

TField* TDataSet::Fields(int Index) const {
  if (Index < 0 || Index >= FieldCount())
    throw EDatabaseError("field index " + std::to_string(Index) + " out of range (" + std::to_string(FieldCount()) + " fields)");
  return FFields[static_cast<std::size_t>(Index)];
}

TField* TDataSet::FindField(const std::string& Name) const {
  for (TField* f : FFields)
    if (SameText(f->FieldName(), Name)) return f;
  return nullptr;
}

TField* TDataSet::FieldByName(const std::string& Name) const {
  if (TField* f = FindField(Name)) return f;
  throw EDatabaseError("field '" + Name + "' not found" + (GetName().empty() ? "" : " in " + GetName()));
}

void TDataSet::Edit() {
  if (!GetActive()) throw EDatabaseError("cannot edit a closed dataset");
  if (FState == dsEdit) return;
  if (FEof && FRecNo == 0) throw EDatabaseError("cannot edit an empty dataset");
  FSavedRow = FRow;
  FState = dsEdit;
  NotifyActive();
}

void TDataSet::Cancel() {
  if (FState != dsEdit) return;
  FRow = FSavedRow;
  FState = dsBrowse;
  NotifyActive();
}

const TSqlValue& TDataSet::Value(int Index) const {
  if (!GetActive()) throw EDatabaseError("the dataset is closed");
  return FRow.at(static_cast<std::size_t>(Index));
}

void TDataSet::SetValue(int Index, const std::string& Text) {
  if (FState != dsEdit) throw EDatabaseError("the dataset is not in edit mode");
  TSqlValue& v = FRow.at(static_cast<std::size_t>(Index));
  v.Kind = TSqlValue::Text;
  v.Bytes = Text;
  NotifyData(FFields[static_cast<std::size_t>(Index)]);
}

void TDataSet::NotifyActive() {
  for (TDataSource* s : std::vector<TDataSource*>(FSources)) s->NotifyActiveChanged();
}

void TDataSet::NotifyData(TField* Field) {
  for (TDataSource* s : std::vector<TDataSource*>(FSources)) s->NotifyDataChanged(Field);
}

// ---- Database datasets ------------------------------------------------------------

namespace {
constexpr TPropInfo DBDataSetProps[] = {
    StringProp<TDBDataSet, &TDBDataSet::GetDatabaseName, &TDBDataSet::SetDatabaseName>("DatabaseName"),
    StringProp<TDBDataSet, &TDBDataSet::GetSessionName, &TDBDataSet::SetSessionName>("SessionName"),
};
constexpr TPropInfo QueryProps[] = {
    StringProp<TQuery, &TQuery::GetSQL, &TQuery::SetSQL>("SQL"),
};
constexpr TPropInfo TableProps[] = {
    StringProp<TTable, &TTable::GetTableName, &TTable::SetTableName>("TableName"),
    EnumProp<TTable, &TTable::GetTableType, &TTable::SetTableType>("TableType", &TableTypeInfo),
};
}  // namespace

constinit const TClassInfo TDBDataSet::ClassInfo = {"TDBDataSet", &TBDEDataSet::ClassInfo, DBDataSetProps,
                                                    std::size(DBDataSetProps)};
constinit const TClassInfo TQuery::ClassInfo = {"TQuery", &TDBDataSet::ClassInfo, QueryProps,
                                                std::size(QueryProps), &ConstructComponent<TQuery>};
constinit const TClassInfo TTable::ClassInfo = {"TTable", &TDBDataSet::ClassInfo, TableProps,
                                                std::size(TableProps), &ConstructComponent<TTable>};

void TDBDataSet::SetDatabaseName(const std::string& Value) {
  if (GetActive()) SetActive(false);
  FDatabaseName = Value;
}

void TDBDataSet::SetSessionName(const std::string& Value) {
  if (GetActive()) SetActive(false);
  FSessionName = Value;
}

TQuery::TQuery(TComponent* AOwner) : TDBDataSet(AOwner) {}

void TQuery::SetSQL(const std::string& Value) {
  if (GetActive()) SetActive(false);
  FSQL = Value;
}

std::unique_ptr<TSqlCursor> TQuery::OpenCursor() {
  FindSession(GetSessionName());
  if (GetDatabaseName().empty()) throw EDatabaseError("the query has no DatabaseName");
  std::string name;
  TSqlDriver& driver = SqlDriverFor(GetDatabaseName(), name);
  return driver.Open(name, FSQL);
}

TTable::TTable(TComponent* AOwner) : TDBDataSet(AOwner) {}

std::unique_ptr<TSqlCursor> TTable::OpenCursor() {
  throw EDatabaseError("table " + FTableName + ": reading tables is not supported; use a query");
}

void TTable::BatchMove(TBDEDataSet* Source, TBatchMode Mode) {
  if (!Source) throw EDatabaseError("BatchMove needs a source dataset");
  if (Mode != batCopy) throw EDatabaseError("BatchMove supports batCopy only");
  FindSession(GetSessionName());
  if (FTableName.empty()) throw EDatabaseError("the table has no TableName");
  std::string dir = GetDatabaseName();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  const std::string path = dir + FTableName;

  const std::string ext = LowerCase(ExtractFileExt(FTableName));
  enum { Dbf, Fox, Paradox } format = Dbf;
  switch (FTableType) {
    case ttParadox: format = Paradox; break;
    case ttDBase: format = Dbf; break;
#if TVCL_VERSION >= 4
    case ttFoxPro: format = Fox; break;
#endif
    case ttASCII:
      throw EDatabaseError("table " + FTableName + ": text tables are not written by a batch move");
    default: format = ext == ".db" || ext == ".pdx" ? Paradox : Dbf; break;
  }

  if (!Source->GetActive()) Source->Open();
  std::vector<detail::TTableFieldDef> defs;
  for (int i = 0; i < Source->FieldCount(); ++i) {
    const TField* f = Source->Fields(i);
    defs.push_back({f->FieldName(), f->DataType(), f->Size()});
  }
  std::unique_ptr<detail::TTableFileWriter> writer =
      format == Paradox ? detail::CreateParadoxWriter(path, defs)
                        : detail::CreateDbfWriter(path, defs, format == Fox ? detail::TDbfFlavour::FoxPro
                                                                           : detail::TDbfFlavour::DBase);
  std::vector<detail::TCell> cells(defs.size());
  std::vector<std::string> scratch(defs.size());
  Source->First();
  while (!Source->Eof()) {
    for (std::size_t i = 0; i < defs.size(); ++i)
      detail::ToCell(Source->FRow[i], defs[i].DataType, defs[i].Name, cells[i], scratch[i]);
    writer->Append(cells);
    Source->Next();
  }
  writer->Finish();
  Source->First();
}

// ---- Sessions -------------------------------------------------------------------------

namespace {
struct TSessionList {
  std::mutex Lock;
  std::vector<TSession*> All;
};
TSessionList& Sessions() {
  static TSessionList L;
  return L;
}
constexpr TPropInfo SessionProps[] = {
    StringProp<TSession, &TSession::GetSessionName, &TSession::SetSessionName>("SessionName"),
};
}  // namespace

constinit const TClassInfo TSession::ClassInfo = {"TSession", &TComponent::ClassInfo, SessionProps,
                                                  std::size(SessionProps), &ConstructComponent<TSession>};

TSession::TSession(TComponent* AOwner) : TComponent(AOwner) {
  std::lock_guard<std::mutex> g(Sessions().Lock);
  Sessions().All.push_back(this);
}

TSession::~TSession() {
  std::lock_guard<std::mutex> g(Sessions().Lock);
  auto& all = Sessions().All;
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

TSession& Session() {
  static TSession Default(nullptr);
  if (Default.GetSessionName().empty()) Default.SetSessionName("Default");
  return Default;
}

TSession& FindSession(const std::string& Name) {
  if (Name.empty() || SameText(Name, "Default")) return Session();
  std::lock_guard<std::mutex> g(Sessions().Lock);
  for (TSession* s : Sessions().All)
    if (SameText(s->GetSessionName(), Name)) return *s;
  throw EDatabaseError("session '" + Name + "' not found");
}

}  // namespace vcl
