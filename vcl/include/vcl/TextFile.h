// Text files written line by line, every failure raised at once.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vcl {

// A text file for writing. Lines end in carriage return and line feed.
// Output is buffered; Rewrite, WriteLn and Close raise EInOutError naming
// the file and the system's reason. The destructor closes a file still open
// (after an error, say), keeping what was written before it.
class TTextFile {
public:
  TTextFile() = default;
  ~TTextFile();
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  void Assign(const std::string& FileName) { FFileName = FileName; }
  const std::string& FileName() const { return FFileName; }
  // Creates the file, or empties an existing one.
  void Rewrite();
  void Write(std::string_view Text);
  void WriteLn(std::string_view Line);
  // Writes what is buffered and closes the file.
  void Close();
  bool IsOpen() const { return FFile != nullptr; }

private:
  [[noreturn]] void Fail(const char* Doing, int Code);

  std::string FFileName;
  std::FILE* FFile = nullptr;
};

}  // namespace vcl
