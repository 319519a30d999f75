#include "DBExportQry.h"

#include <vcl/Forms.h>

namespace tolvane {

using namespace vcl;

namespace {

constexpr const char* DelimiterNames[] = {"deCOMMA", "deTAB", "deSPACE", "deTILDE", "deBAR", "deNONE"};
constexpr char DelimiterChars[] = {',', '\t', ' ', '~', '|', '\0'};
static_assert(std::size(DelimiterNames) == deNONE + 1 && std::size(DelimiterChars) == deNONE + 1);

constexpr const char* QuoteCharNames[] = {"qcSINGEQUOTE", "qcDOUBLEQUOTE", "qcNONE"};
constexpr char QuoteChars[] = {'\'', '"', '\0'};
static_assert(std::size(QuoteCharNames) == qcNONE + 1 && std::size(QuoteChars) == qcNONE + 1);

// The extension a type gives the file name ("" keeps the current one) and the
// bare one SaveToFile appends. FoxPro tables are .dbf files as well.
const char* TypeExtension(TTableType Type) {
  switch (Type) {
    case ttASCII: return ".txt";
    case ttParadox: return ".pdx";
    default: return ".dbf";   // ttDBase, ttDefault, ttFoxPro
  }
}

bool IsUnquotedType(TFieldType Type) { return Type == ftSmallint || Type == ftInteger || Type == ftFloat; }

constexpr TPropInfo DBExportQryProps[] = {
    ComponentProp<TDBExportQry, TDataSet, &TDBExportQry::GetDataSet, &TDBExportQry::SetDataSet>("DataSet"),
    StringProp<TDBExportQry, &TDBExportQry::GetFileName, &TDBExportQry::SetFileName>("FileName"),
    EnumProp<TDBExportQry, &TDBExportQry::GetDelimiter, &TDBExportQry::SetDelimiter>("Delimiter", &DelimiterInfo),
    WithDefault(EnumProp<TDBExportQry, &TDBExportQry::GetExportType, &TDBExportQry::SetExportType>(
                    "ExportType", &TableTypeInfo),
                ttDBase),
    BooleanProp<TDBExportQry, &TDBExportQry::GetSaveColumnNames, &TDBExportQry::SetSaveColumnNames>(
        "SaveColumnNames"),
    EnumProp<TDBExportQry, &TDBExportQry::GetQuoteCharacter, &TDBExportQry::SetQuoteChar>("QuoteCharacter",
                                                                                           &QuoteCharInfo),
};

}  // namespace

constinit const TEnumInfo DelimiterInfo = {"TDelimiter", DelimiterNames, std::size(DelimiterNames)};
constinit const TEnumInfo QuoteCharInfo = {"TQuoteChar", QuoteCharNames, std::size(QuoteCharNames)};

constinit const TClassInfo TDBExportQry::ClassInfo = {"TDBExportQry", &TComponent::ClassInfo, DBExportQryProps,
                                                      std::size(DBExportQryProps),
                                                      &ConstructComponent<TDBExportQry>};

TDBExportQry::TDBExportQry(TComponent* AOwner) : TComponent(AOwner) {
  FFileName = "QryReslt.dbf";
  SetDelimiter(deCOMMA);
  SetQuoteChar(qcDOUBLEQUOTE);
  FSaveColumnNames = true;
  SetExportType(ttDBase);
}

TDBExportQry::~TDBExportQry() = default;

void TDBExportQry::SetDataSet(TDataSet* Value) {
  FDataSet = Value;
  if (Value) Value->FreeNotification(this);
}

void TDBExportQry::SetDelimiter(TDelimiter Value) {
  FDelimiter = Value;
  FDelimChar = Value <= deNONE ? DelimiterChars[Value] : DelimiterChars[0];
}

void TDBExportQry::SetQuoteChar(TQuoteChar Value) {
  FQuoteChoice = Value;
  FQuoteChar = Value <= qcNONE ? QuoteChars[Value] : QuoteChars[0];
}

void TDBExportQry::SetExportType(TTableType Value) {
  const std::string ext = UpperCase(ExtractFileExt(FFileName));
  const std::string rest = FFileName.substr(0, FFileName.size() - ext.size());
  // "/" separates directories here, and their names are case-sensitive:
  // only the file's own name is upper-cased.
  const std::string dir = ExtractFilePath(rest);
  FFileName = dir + UpperCase(rest.substr(dir.size())) + TypeExtension(Value);
  FExportType = Value;
}

void TDBExportQry::ExportData() { SaveToFile(FFileName); }

void TDBExportQry::SaveToFile(const std::string& NewName) {
  FFileName = NewName;
  const std::string ext = std::string(TypeExtension(FExportType)).substr(1);
  if (NewName.empty()) return;
  const std::string tail = NewName.size() > 4 ? NewName.substr(NewName.size() - 4) : NewName;
  if (UpperCase(tail) != UpperCase("." + ext)) FFileName = NewName + "." + ext;
  if (FDataSet) Execute();
}

void TDBExportQry::Execute() {
  if (!FDataSet || !FDataSet->GetActive()) return;
  if (FExportType == ttASCII) DumpToText();
  else MoveTable();
}

void TDBExportQry::MoveTable() {
  // The wait cursor is put back on every path, failure included.
  struct TCursorGuard {
    TCursor Saved = Screen().GetCursor();
    TCursorGuard() { Screen().SetCursor(crSQLWait); }
    ~TCursorGuard() { Screen().SetCursor(Saved); }
  } cursor;
  std::unique_ptr<TTable> table(new TTable(this));
  table->SetSessionName(As<TDBDataSet>(FDataSet)->GetSessionName());
  table->SetTableType(FExportType);
  table->SetTableName(ExtractFileName(FFileName));
  table->SetDatabaseName(ExtractFilePath(FFileName));
  table->BatchMove(As<TBDEDataSet>(FDataSet), batCopy);
}

void TDBExportQry::WriteHeader(TTextFile& F) {
  std::string line;
  for (int i = 0; i < FDataSet->FieldCount(); ++i) {
    const std::string& name = FDataSet->Fields(i)->FieldName();
    if (FQuoteChar) {
      line += FQuoteChar;
      line += name;
      line += FQuoteChar;
    } else {
      line += name;
    }
    if (i != FDataSet->FieldCount() - 1 && FDelimChar) line += FDelimChar;
  }
  F.WriteLn(line);
}

void TDBExportQry::DumpToText() {
  // The file is closed on every path: on failure by its destructor, keeping
  // the lines written before.
  TTextFile f;
  f.Assign(FFileName);
  f.Rewrite();
  TQuery* query = As<TQuery>(FDataSet);
  query->First();
  if (FSaveColumnNames) WriteHeader(f);
  std::string line;
  while (!query->Eof()) {
    line.clear();
    for (int i = 0; i < query->FieldCount(); ++i) {
      const TField* field = query->Fields(i);
      const bool quoted = FQuoteChar && !IsUnquotedType(field->DataType());
      if (quoted) line += FQuoteChar;
      // The text goes straight into the line; padding and the closing quote follow it.
      const std::size_t textStart = line.size();
      field->AppendText(line);
      const std::size_t length = line.size() - textStart;
      if (!FDelimChar && field->GetDisplayWidth() >= static_cast<int>(length))
        line.append(static_cast<std::size_t>(field->GetDisplayWidth()) - length + 1, ' ');
      // A text that is exactly the quote character becomes two of them: the
      // opening quote and the text are those two already.
      if (quoted && !(line.size() - textStart == 1 && line[textStart] == FQuoteChar)) line += FQuoteChar;
      if (i != query->FieldCount() - 1 && FDelimChar) line += FDelimChar;
    }
    line += "\r\n";
    f.Write(line);
    query->Next();
  }
  query->First();
  f.Close();
}

void TDBExportQry::Loaded() { TComponent::Loaded(); }

void TDBExportQry::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && FDataSet && AComponent == FDataSet) FDataSet = nullptr;
}

}  // namespace tolvane
