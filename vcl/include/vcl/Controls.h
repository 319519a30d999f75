// Window-backed controls.
#pragma once

#include <functional>

#include "Classes.h"
#include "Messages.h"

namespace vcl {

// A control with a window handle of its own. It can take the focus, and
// messages posted to its handle reach its WndProc on the main thread.
class TWinControl : public TComponent {
  TVCL_CLASS(TWinControl, TComponent)
  explicit TWinControl(TComponent* AOwner);
  // Gives up the focus and the handle; messages still queued for it are dropped.
  ~TWinControl() override;

  // The window handle, made on first use. Main thread only.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != 0; }

  // Makes this the application's focused control (Screen().ActiveControl).
  void SetFocus();
  bool Focused() const;

  // The message handler: WM_CHAR becomes KeyPress; everything else goes to
  // DefaultHandler. Override to take more messages, calling the inherited one
  // for the rest.
  virtual void WndProc(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // A character typed into the control. The handler may change Key, or set it
  // to 0 to swallow it.
  std::function<void(TObject* Sender, char& Key)> OnKeyPress;

protected:
  virtual void KeyPress(char& Key);

private:
  HWND FHandle = 0;
};

}  // namespace vcl
