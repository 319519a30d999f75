// Serial ports: the class library's handle-based comm API over Linux termios.
//
// A port is opened by name with FileOpen, configured through its comm-state
// record (DCB) and its read timeouts, read with ReadFile and closed with
// FileClose. A terminal device is always opened exclusively and as a binary
// line. Every call may be made from any thread; different handles may be used
// on different threads at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vcl {

// A handle of a file or port opened by FileOpen. Valid handles are > 0; 0, 1
// and 2 are never handed out.
using THandle = std::int32_t;
constexpr THandle INVALID_HANDLE_VALUE = -1;

// FileOpen's Mode: one access value, optionally or-ed with one share value.
constexpr std::uint32_t fmOpenRead = 0x0000;
constexpr std::uint32_t fmOpenWrite = 0x0001;
constexpr std::uint32_t fmOpenReadWrite = 0x0002;
constexpr std::uint32_t fmShareExclusive = 0x0010;  // nobody else may open it (exclusive lock)
constexpr std::uint32_t fmShareDenyWrite = 0x0020;  // others may only share it (shared lock)
constexpr std::uint32_t fmShareDenyNone = 0x0040;   // no lock

// Opens FileName for reading, writing or both; never raises. A port name
// ("COM1") is turned into its device path first (SerialDeviceName). A
// terminal device is opened exclusively whatever the share value, and becomes
// a binary line: raw input and output, receiver on, modem status ignored;
// speed, character format, flow control and the XON/XOFF characters stay as
// they were. For other files the share value takes an advisory lock. On
// failure the result is INVALID_HANDLE_VALUE and errno says why (EBUSY when
// someone else holds the device or file, EINVAL for an unknown Mode).
THandle FileOpen(const std::string& FileName, std::uint32_t Mode);

// Closes a handle of FileOpen and releases its exclusivity; a handle that is
// not open (INVALID_HANDLE_VALUE, one already closed) is left alone.
void FileClose(THandle Handle);

// The comm-state record: line speed, character format, flow control and the
// control characters, as GetCommState reads it and SetCommState writes it.
// Flags holds single-bit switches (the DCB_f* masks) and two-bit codes for
// the DTR and RTS lines (GetDtrControl, SetRtsControl, ...).
struct DCB {
  std::uint32_t DCBlength;  // sizeof(DCB); GetCommState sets it, SetCommState ignores it
  std::uint32_t BaudRate;   // bits per second
  std::uint32_t Flags;      // DCB_f* bits and the DTR/RTS control codes
  std::uint16_t wReserved;  // kept for the caller, no meaning on the line
  std::uint16_t XonLim;     // free bytes in the input buffer before XON is sent
  std::uint16_t XoffLim;    // bytes in the input buffer before XOFF is sent
  std::uint8_t ByteSize;    // data bits, 5..8
  std::uint8_t Parity;      // NOPARITY .. SPACEPARITY
  std::uint8_t StopBits;    // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
  std::uint8_t XonChar;     // the byte that resumes transmission
  std::uint8_t XoffChar;    // the byte that stops transmission
  std::uint8_t ErrorChar;   // replacement for a byte received with a parity error
  std::uint8_t EofChar;     // the byte that marks the end of data
  std::uint8_t EvtChar;     // the byte that signals an event
  std::uint16_t wReserved1; // kept for the caller, no meaning on the line
};
static_assert(sizeof(DCB) == 28, "the comm-state record is 28 bytes");
static_assert(offsetof(DCB, BaudRate) == 4 && offsetof(DCB, Flags) == 8 && offsetof(DCB, wReserved) == 12 &&
              offsetof(DCB, XonLim) == 14 && offsetof(DCB, XoffLim) == 16 && offsetof(DCB, ByteSize) == 18 &&
              offsetof(DCB, Parity) == 19 && offsetof(DCB, StopBits) == 20 && offsetof(DCB, XonChar) == 21 &&
              offsetof(DCB, XoffChar) == 22 && offsetof(DCB, ErrorChar) == 23 && offsetof(DCB, EofChar) == 24 &&
              offsetof(DCB, EvtChar) == 25 && offsetof(DCB, wReserved1) == 26,
              "the comm-state record has no padding and a fixed layout");

// The bits of DCB::Flags.
constexpr std::uint32_t DCB_fBinary = 0x0001;            // binary line, no end-of-data byte check
constexpr std::uint32_t DCB_fParity = 0x0002;            // check the parity of received bytes
constexpr std::uint32_t DCB_fOutxCtsFlow = 0x0004;       // transmit only while CTS is raised
constexpr std::uint32_t DCB_fOutxDsrFlow = 0x0008;       // transmit only while DSR is raised
constexpr std::uint32_t DCB_fDtrControl = 0x0030;        // two-bit DTR control code (DTR_CONTROL_*)
constexpr std::uint32_t DCB_fDsrSensitivity = 0x0040;    // ignore received bytes while DSR is low
constexpr std::uint32_t DCB_fTXContinueOnXoff = 0x0080;  // keep transmitting after sending XOFF
constexpr std::uint32_t DCB_fOutX = 0x0100;              // stop transmitting on XOFF, resume on XON
constexpr std::uint32_t DCB_fInX = 0x0200;               // send XOFF/XON as the input buffer fills/empties
constexpr std::uint32_t DCB_fErrorChar = 0x0400;         // replace bytes with parity errors by ErrorChar
constexpr std::uint32_t DCB_fNull = 0x0800;              // discard received zero bytes
constexpr std::uint32_t DCB_fRtsControl = 0x3000;        // two-bit RTS control code (RTS_CONTROL_*)
constexpr std::uint32_t DCB_fAbortOnError = 0x4000;      // stop reading and writing after an error
constexpr std::uint32_t DCB_fReserved = 0xFFFF8000;      // bits 15-31, kept for the caller
constexpr unsigned DCB_DtrControlShift = 4;
constexpr unsigned DCB_RtsControlShift = 12;

// The DTR control codes.
constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;    // DTR lowered
constexpr std::uint32_t DTR_CONTROL_ENABLE = 1;     // DTR raised
constexpr std::uint32_t DTR_CONTROL_HANDSHAKE = 2;  // DTR follows the input buffer (not on Linux)
// The RTS control codes.
constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;    // RTS lowered
constexpr std::uint32_t RTS_CONTROL_ENABLE = 1;     // RTS raised
constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 2;  // RTS/CTS hardware flow control
constexpr std::uint32_t RTS_CONTROL_TOGGLE = 3;     // RTS raised while transmitting (RS-485)

// DCB::Parity values.
constexpr std::uint8_t NOPARITY = 0;
constexpr std::uint8_t ODDPARITY = 1;
constexpr std::uint8_t EVENPARITY = 2;
constexpr std::uint8_t MARKPARITY = 3;   // parity bit always 1
constexpr std::uint8_t SPACEPARITY = 4;  // parity bit always 0
// DCB::StopBits values.
constexpr std::uint8_t ONESTOPBIT = 0;
constexpr std::uint8_t ONE5STOPBITS = 1;  // one and a half, only with 5 data bits
constexpr std::uint8_t TWOSTOPBITS = 2;

// The DTR and RTS control codes of a record's Flags, and their replacement
// (Code is taken modulo 4; the other bits of Flags stay).
constexpr std::uint32_t GetDtrControl(const DCB& State) {
  return (State.Flags & DCB_fDtrControl) >> DCB_DtrControlShift;
}
constexpr std::uint32_t GetRtsControl(const DCB& State) {
  return (State.Flags & DCB_fRtsControl) >> DCB_RtsControlShift;
}
constexpr void SetDtrControl(DCB& State, std::uint32_t Code) {
  State.Flags = (State.Flags & ~DCB_fDtrControl) | ((Code << DCB_DtrControlShift) & DCB_fDtrControl);
}
constexpr void SetRtsControl(DCB& State, std::uint32_t Code) {
  State.Flags = (State.Flags & ~DCB_fRtsControl) | ((Code << DCB_RtsControlShift) & DCB_fRtsControl);
}

// The read timeouts of a handle, in milliseconds. ReadFile applies them:
// - Interval MAXDWORD, both totals 0: return at once with what has arrived.
// - Interval and Multiplier MAXDWORD, 0 < Constant < MAXDWORD: return as soon
//   as a byte is there, or after Constant ms with nothing.
// - Otherwise: at most Multiplier * Count + Constant ms in all (both 0: no
//   limit), and at most Interval ms between two bytes once the first has
//   arrived (0: no limit). With no limit at all a read waits for Count bytes.
struct COMMTIMEOUTS {
  std::uint32_t ReadIntervalTimeout;          // longest gap between two received bytes
  std::uint32_t ReadTotalTimeoutMultiplier;   // per requested byte
  std::uint32_t ReadTotalTimeoutConstant;     // added once per read
  std::uint32_t WriteTotalTimeoutMultiplier;  // kept for the caller; there is no write call
  std::uint32_t WriteTotalTimeoutConstant;    // kept for the caller; there is no write call
};
constexpr std::uint32_t MAXDWORD = 0xFFFFFFFF;

// Reads the port's comm-state record. False (State untouched, errno set) for
// a handle that is not open (EBADF), one that is not a terminal (ENOTTY), or
// a device that has gone away (EIO).
bool GetCommState(THandle Handle, DCB& State);

// Applies State to the port as far as Linux and the device allow, reads the
// record back and returns true only when every field (DCBlength aside) reads
// back as asked; otherwise false with errno EINVAL, and GetCommState shows
// what the port holds. A speed of 0 and out-of-range codes are not applied.
// A handle that is not open or not a terminal gives false with nothing
// applied.
bool SetCommState(THandle Handle, const DCB& State);

// The handle's read timeouts; all zero after FileOpen. False (EBADF) for a
// handle that is not open.
bool GetCommTimeouts(THandle Handle, COMMTIMEOUTS& Timeouts);
bool SetCommTimeouts(THandle Handle, const COMMTIMEOUTS& Timeouts);

// Reads up to Count bytes into Buffer under the handle's timeouts and sets
// BytesRead to the number read. True also when a timeout ends the read early
// (possibly with 0 bytes: an empty port). False with 0 bytes when the device
// has gone away (the far end of a pseudo-terminal closed, a USB adapter
// unplugged; errno EIO) or on another error; bytes that arrived before the
// device went are returned first and the next read reports it. A file that is
// not a terminal is read plainly: true with the count, 0 at its end.
bool ReadFile(THandle Handle, void* Buffer, std::uint32_t Count, std::uint32_t& BytesRead);

// The device path FileOpen uses for PortName: "COM1".."COM4" (any ASCII
// case) are /dev/ttyS0../dev/ttyS3, every other name is a path as given.
std::string SerialDeviceName(const std::string& PortName);

}  // namespace vcl
