#include <vcl/TextFile.h>

#include <cerrno>

#include <vcl/SysUtils.h>

namespace vcl {

TTextFile::~TTextFile() {
  if (FFile) std::fclose(FFile);
}

void TTextFile::Fail(const char* Doing, int Code) {
  throw EInOutError("cannot " + std::string(Doing) + " " + FFileName + ": " + SysErrorMessage(Code), Code);
}

void TTextFile::Rewrite() {
  if (FFile) {
    std::fclose(FFile);
    FFile = nullptr;
  }
  FFile = std::fopen(FFileName.c_str(), "wbe");   // e: close-on-exec
  if (!FFile) Fail("create", errno);
  static_cast<void>(std::setvbuf(FFile, nullptr, _IOFBF, 1 << 16));
}

void TTextFile::Write(std::string_view Text) {
  if (!FFile) Fail("write to", EBADF);
  if (!Text.empty() && std::fwrite(Text.data(), 1, Text.size(), FFile) != Text.size()) Fail("write to", errno);
}

void TTextFile::WriteLn(std::string_view Line) {
  Write(Line);
  Write("\r\n");
}

void TTextFile::Close() {
  if (!FFile) return;
  std::FILE* f = FFile;
  FFile = nullptr;
  const bool flushed = std::fflush(f) == 0;
  const int code = errno;
  if (std::fclose(f) != 0 || !flushed) Fail("write to", flushed ? errno : code);
}

}  // namespace vcl
