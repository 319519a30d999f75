// The application object and the screen: the message loop's main-thread
// side and the focused control.
#pragma once

#include <atomic>
#include <cstdint>

#include "Controls.h"

namespace vcl {

// Mouse cursor shapes; negative numbers are the built-in ones.
using TCursor = std::int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crIBeam = -4;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHandPoint = -21;

class TScreen {
public:
  // The application-wide cursor: crDefault lets each control show its own.
  TCursor GetCursor() const { return FCursor; }
  void SetCursor(TCursor Value) { FCursor = Value; }

  // The control that has the focus, or null. Main thread only.
  TWinControl* ActiveControl() const { return FActiveControl; }
  // The focused control's window handle, or 0 when no control has the focus.
  // Safe on any thread: a background thread that posts to the focused control
  // reads this, never the control object, which the main thread may free.
  HWND ActiveHandle() const { return FActiveHandle.load(std::memory_order_acquire); }
  // Moves the focus (null: no control has it). Main thread only.
  void SetActiveControl(TWinControl* Control);

private:
  TCursor FCursor = crDefault;
  TWinControl* FActiveControl = nullptr;
  std::atomic<HWND> FActiveHandle{0};
};

class TApplication {
public:
  // Runs the calls handed over to the main thread, then delivers every
  // message that was queued when it started (messages that handlers post
  // wait for the next call). Main thread only.
  void ProcessMessages();
  // Blocks until a message or a hand-over is queued, or TimeoutMs has passed;
  // true when something is waiting. Main thread only.
  bool WaitMessage(int TimeoutMs);

  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }

private:
  bool FTerminated = false;
};

TScreen& Screen();
TApplication& Application();

}  // namespace vcl
