#include "vcl/SysUtils.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

namespace vcl {

std::string UpperCase(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return S;
}

std::string LowerCase(std::string S) {
  for (char& c : S)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return S;
}

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    char x = A[i], y = B[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::int32_t StrToInt(const std::string& S) {
  const char* first = S.data();
  const char* last = first + S.size();
  while (first < last && *first == ' ') ++first;
  while (last > first && last[-1] == ' ') --last;
  bool negative = false;
  if (first < last && (*first == '-' || *first == '+')) negative = *first++ == '-';
  int base = 10;
  if (first < last && *first == '$') {
    base = 16;
    ++first;
  } else if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
    base = 16;
    first += 2;
  }
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(first, last, magnitude, base);
  // Hexadecimal spells the 32-bit pattern ($FFFFFFFF is -1); decimal must fit.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  if (first == last || end != last || ec != std::errc() || magnitude > limit)
    throw EConvertError("'" + S + "' is not a valid integer value");
  std::int64_t value = base == 16 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude))
                                  : static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -value : value);
}

std::string IntToStr(std::int64_t Value) { return std::to_string(Value); }

namespace {
std::size_t NameStart(const std::string& FileName) {
  std::size_t slash = FileName.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}
std::size_t ExtStart(const std::string& FileName) {
  std::size_t dot = FileName.rfind('.');
  return dot == std::string::npos || dot < NameStart(FileName) ? FileName.size() : dot;
}
}  // namespace

std::string ExtractFileExt(const std::string& FileName) { return FileName.substr(ExtStart(FileName)); }
std::string ExtractFileName(const std::string& FileName) { return FileName.substr(NameStart(FileName)); }
std::string ExtractFilePath(const std::string& FileName) { return FileName.substr(0, NameStart(FileName)); }

std::string ChangeFileExt(const std::string& FileName, const std::string& Ext) {
  return FileName.substr(0, ExtStart(FileName)) + Ext;
}

std::string SysErrorMessage(int Code) {
  char buf[256];
  // The GNU strerror_r returns the message, which may or may not be buf.
  return strerror_r(Code, buf, sizeof buf);
}

}  // namespace vcl
