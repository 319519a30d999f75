// Window handles and the application's message queue.
//
// Every window-backed control has a handle, a number that stays unique for
// the life of the process (handles are never reused, so a message posted to a
// control that has since been freed is dropped rather than delivered to a
// stranger). Any thread may post a message to a handle; the main thread takes
// the messages out in order and hands each to its control's WndProc.
#pragma once

#include <cstdint>

namespace vcl {

using HWND = std::uint32_t;   // 0 is no window
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

constexpr std::uint32_t WM_KEYDOWN = 0x0100;
constexpr std::uint32_t WM_KEYUP = 0x0101;
constexpr std::uint32_t WM_CHAR = 0x0102;     // WParam: the character code 0..255
constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
constexpr std::uint32_t WM_USER = 0x0400;

// A message as a control's WndProc receives it.
struct TMessage {
  std::uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
  LPARAM Result;   // what the handler answers; 0 unless it says otherwise
};

// Queues Msg for the window Wnd and returns without waiting for it to be
// handled. Safe on any thread. False (and nothing queued) when Wnd is not a
// live window. Queuing does not allocate unless the queue has to grow.
bool PostMessage(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam);

}  // namespace vcl
