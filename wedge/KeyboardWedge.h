// The keyboard wedge: a serial port that types like a keyboard.
//
// While a TKeyboardWedge is active, a reader thread holds its port open,
// polls it one byte at a time and posts every character it receives as a
// WM_CHAR message to the application's focused control. The wedge's other
// properties are a view on its copy of the port's comm-state record (DCB);
// every write of one goes to the port at once through the apply cycle (stop
// the reader, open the port, read its state, change one field, write the
// state back, close the port, restart the reader).
#pragma once

#include <cstdint>
#include <string>

#include <vcl/Classes.h>
#include <vcl/Serial.h>
#include <vcl/Threads.h>

namespace tolvane {

enum TDCBOption : std::uint8_t {
  kwAbortOnError,         // fAbortOnError
  kwAllowBufferOverruns,  // fTXContinueOnXoff
  kwBinaryMode,           // fBinary
  kwCTSFlowControl,       // fOutxCtsFlow
  kwDiscardNulls,         // fNull
  kwDSRFlowControl,       // fOutxDsrFlow
  kwDSRSensitivity,       // fDsrSensitivity
  kwErrorReplacement,     // fErrorChar
  kwParityChecking,       // fParity
  kwXonXoff_In,           // fInX
  kwXonXoff_Out,          // fOutX
  kwFilterCtrlChars,      // no port flag: the reader's control-character filter
};
using TDCBOptions = vcl::TSet<TDCBOption>;
extern const vcl::TEnumInfo DCBOptionInfo;

enum TStopBits : std::uint8_t { sbONESTOPBIT, sbONE5STOPBITS, sbTWOSTOPBITS };
extern const vcl::TEnumInfo StopBitsInfo;

// The reader: opens the port, reads one byte at a time under "return at once"
// timeouts, and posts each accepted byte to the focused control. It frees
// itself when it ends.
class TWedgeThread : public vcl::TThread {
  TVCL_CLASS(TWedgeThread, vcl::TThread)
  TWedgeThread();

  // Set before Resume; the thread reads nothing else of its wedge.
  void SetPortName(const std::string& Value) { FPortName = Value; }
  void SetFilter(bool Value) { FFilter = Value; }

  // The next character to deliver, or 0 once the thread has been asked to stop.
  void ReadChar(char& Ch);

protected:
  void Execute() override;

private:
  vcl::THandle FPortHandle = 0;  // 0 when setting up the port failed
  std::string FPortName;
  vcl::COMMTIMEOUTS FTimeouts{};
  bool FFilter = false;          // drop control characters and bytes above 0x7F
};

class TKeyboardWedge : public vcl::TComponent {
  TVCL_CLASS(TKeyboardWedge, vcl::TComponent)
  // Reads COM1's state into the record, as far as COM1 can be opened.
  explicit TKeyboardWedge(vcl::TComponent* AOwner);
  // Deactivates first: the reader has stopped and let go of the port before
  // the component is gone.
  ~TKeyboardWedge() override;

  bool GetActive() const { return FActive; }
  void SetActive(bool Value);
  // The reader's end notification, on the main thread: clears Active.
  void ThreadDead(vcl::TObject* Sender);

  const std::string& GetPort() const { return FPort; }
  // Deactivates, stores the name and re-reads the whole record from that
  // port; writes nothing and does not restart the reader.
  void SetPort(const std::string& Value);

  std::int32_t GetBaudRate() const;
  void SetBaudRate(std::int32_t Value);
  std::int32_t GetByteSize() const;
  void SetByteSize(std::int32_t Value);
  TStopBits GetStopBits() const;
  void SetStopBits(TStopBits Value);
  // Words: "Disable", "Enable", "Handshake" (any other text), "Unknown" (code 3, read only).
  std::string GetDTRControl() const;
  void SetDTRControl(const std::string& Value);
  // Words: "Disable", "Enable", "Handshake", "Toggle" (any other text).
  std::string GetRTSControl() const;
  void SetRTSControl(const std::string& Value);
  // Words: "None" (any other text), "Odd", "Even", "Mark", "Space"; "Unknown" above 4, read only.
  std::string GetParity() const;
  void SetParity(const std::string& Value);

  // Characters as "#" and the decimal code ("#17"). Writing collects the
  // digits of the text; no digits, or a number outside 0..255, keeps the
  // port's current value.
  std::string GetXOnChar() const;
  void SetXOnChar(const std::string& Value);
  std::string GetXOffChar() const;
  void SetXOffChar(const std::string& Value);
  std::string GetErrorReplacementChar() const;
  void SetErrorReplacementChar(const std::string& Value);
  std::uint16_t GetXonBufferSize() const;
  void SetXOnBufferSize(std::uint16_t Value);
  std::uint16_t GetXOffBufferSize() const;
  void SetXOffBufferSize(std::uint16_t Value);

  // The eleven port flags of the option set, one accessor pair each.
  bool GetAbortOnError() const;
  void SetAbortOnError(bool Value);
  bool GetAllowBufferOverruns() const;
  void SetAllowBufferOverruns(bool Value);
  bool GetBinaryMode() const;
  void SetBinaryMode(bool Value);
  bool GetCTSFlowControl() const;
  void SetCTSFlowControl(bool Value);
  bool GetDiscardNulls() const;
  void SetDiscardNulls(bool Value);
  bool GetDSRFlowControl() const;
  void SetDSRFlowControl(bool Value);
  bool GetDSRSensitivity() const;
  void SetDSRSensitivity(bool Value);
  bool GetErrorReplacement() const;
  void SetErrorReplacement(bool Value);
  bool GetParityChecking() const;
  void SetParityChecking(bool Value);
  bool GetXonXoff_In() const;
  void SetXonXoff_In(bool Value);
  bool GetXonXoff_Out() const;
  void SetXonXoff_Out(bool Value);
  // The shared write of the flags: sets or clears Mask in the flag word.
  void UpdateFlags(std::uint32_t Mask, bool Value);

  // Rebuilds the port flags of the option set from the record (keeping
  // kwFilterCtrlChars) and returns it.
  TDCBOptions GetOptions() const;
  // Writes each port flag whose membership differs from the option set (one
  // apply cycle each), then stores Value whole.
  void SetOptions(TDCBOptions Value);

  // The component's copy of the port's record.
  const vcl::DCB& GetDCB() const { return FDCB; }

private:
  template <class Change>
  void Apply(Change&& Make);
  void SetCharSetting(std::uint8_t vcl::DCB::*Field, const std::string& Value);

  vcl::DCB FDCB{};
  TWedgeThread* FReader = nullptr;   // the reader of the last activation; gone once Active is false
  bool FActive = false;
  std::string FPort;
  mutable TDCBOptions FOptions;      // refreshed from the record whenever Options is read
};

}  // namespace tolvane
