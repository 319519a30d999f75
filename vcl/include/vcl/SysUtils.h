// Exceptions and the small string and file-name helpers of the class library.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace vcl {

// The one base class of every error the class library raises. The message is
// meant for people: it names what was wrong.
class Exception : public std::exception {
public:
  explicit Exception(std::string Msg) : FMessage(std::move(Msg)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string Msg) { FMessage = std::move(Msg); }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// A text that does not convert to the asked type ("'1A' is not a valid integer value").
class EConvertError : public Exception { using Exception::Exception; };
// An object of the wrong class where a cast asked for a particular one.
class EInvalidCast : public Exception { using Exception::Exception; };
// An operation that the object's current state does not allow.
class EInvalidOperation : public Exception { using Exception::Exception; };
// A component-level failure such as a duplicate or malformed component name.
class EComponentError : public Exception { using Exception::Exception; };
// The system could not give a resource: memory for a bitmap, a font face.
class EOutOfResources : public Exception { using Exception::Exception; };
// A picture file or stream that is not a valid image.
class EInvalidGraphic : public Exception { using Exception::Exception; };
// A named resource that is not registered.
class EResNotFound : public Exception { using Exception::Exception; };

// Input and output failures. ErrorCode is the operating system's errno, or 0
// when the failure has no system error behind it.
class EInOutError : public Exception {
public:
  EInOutError(std::string Msg, int Code) : Exception(std::move(Msg)), ErrorCode(Code) {}
  int ErrorCode;
};

// Errors of the stored-form reader and writer.
class EFilerError : public Exception { using Exception::Exception; };
class EReadError : public EFilerError { using EFilerError::EFilerError; };
class EWriteError : public EFilerError { using EFilerError::EFilerError; };
class EClassNotFound : public EFilerError { using EFilerError::EFilerError; };

// ASCII upper and lower case; bytes 128..255 are left as they are.
std::string UpperCase(std::string S);
std::string LowerCase(std::string S);
// Equal but for ASCII case.
bool SameText(std::string_view A, std::string_view B);

// Decimal (or $-prefixed hexadecimal) text to a 32-bit integer; anything else,
// including a value out of range, raises EConvertError.
std::int32_t StrToInt(const std::string& S);
std::string IntToStr(std::int64_t Value);

// File-name parts, split at the last '/'. ExtractFileExt includes the dot
// ("a/b.png" -> ".png"); a dot inside a directory name does not count.
std::string ExtractFileExt(const std::string& FileName);
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFilePath(const std::string& FileName);  // keeps the trailing '/'

// Replaces the extension (or appends one when there is none); Ext includes its dot.
std::string ChangeFileExt(const std::string& FileName, const std::string& Ext);

// Formats an errno value as text ("No such file or directory").
std::string SysErrorMessage(int Code);

}  // namespace vcl
