// The dataset exporter: the records of an open query into a delimited or
// column-padded text file, or into a new dBASE or Paradox table.
#pragma once

#include <cstdint>
#include <string>

#include <vcl/Classes.h>
#include <vcl/DB.h>
#include <vcl/TextFile.h>

namespace tolvane {

enum TDelimiter : std::uint8_t { deCOMMA, deTAB, deSPACE, deTILDE, deBAR, deNONE };
extern const vcl::TEnumInfo DelimiterInfo;
enum TQuoteChar : std::uint8_t { qcSINGEQUOTE, qcDOUBLEQUOTE, qcNONE };
extern const vcl::TEnumInfo QuoteCharInfo;

class TDBExportQry : public vcl::TComponent {
  TVCL_CLASS(TDBExportQry, vcl::TComponent)
  explicit TDBExportQry(vcl::TComponent* AOwner);
  ~TDBExportQry() override;

  vcl::TDataSet* GetDataSet() const { return FDataSet; }
  // Not owned; the exporter is told when it is freed.
  void SetDataSet(vcl::TDataSet* Value);
  const std::string& GetFileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { FFileName = Value; }
  TDelimiter GetDelimiter() const { return FDelimiter; }
  void SetDelimiter(TDelimiter Value);
  vcl::TTableType GetExportType() const { return FExportType; }
  // Upper-cases the file's name (the directory part stays as it is) and gives
  // it the type's extension: ".txt", ".dbf" (dBASE, default and FoxPro), ".pdx".
  void SetExportType(vcl::TTableType Value);
  bool GetSaveColumnNames() const { return FSaveColumnNames; }
  void SetSaveColumnNames(bool Value) { FSaveColumnNames = Value; }
  TQuoteChar GetQuoteCharacter() const { return FQuoteChoice; }
  void SetQuoteChar(TQuoteChar Value);

  // The characters the choices stand for; 0 is none.
  char DelimiterChar() const { return FDelimChar; }
  char QuoteChar() const { return FQuoteChar; }

  // SaveToFile with the current FileName.
  void ExportData();
  // Takes NewName as the file name, appends the type's extension unless the
  // name ends in it already, and exports when a dataset is assigned. An empty
  // name clears the file name and exports nothing.
  void SaveToFile(const std::string& NewName);
  // Exports to FileName as it is; nothing without an open dataset.
  void Execute();

  // The text export: the header line (when SaveColumnNames) and one line per record.
  void DumpToText();
  void WriteHeader(vcl::TTextFile& F);
  // The table export: a batch move into a new table named by FileName.
  void MoveTable();

protected:
  void Loaded() override;
  void Notification(vcl::TComponent* AComponent, vcl::TOperation Operation) override;

private:
  vcl::TTableType FExportType = vcl::ttDBase;
  std::string FFileName;
  bool FSaveColumnNames = true;
  char FQuoteChar = '"';
  char FDelimChar = ',';
  TQuoteChar FQuoteChoice = qcDOUBLEQUOTE;
  TDelimiter FDelimiter = deCOMMA;
  vcl::TDataSet* FDataSet = nullptr;
};

}  // namespace tolvane
