#include <vcl/Controls.h>

#include <vcl/Forms.h>

#include "MessageQueue.h"

namespace vcl {

constinit const TClassInfo TWinControl::ClassInfo = {"TWinControl", &TComponent::ClassInfo};

TWinControl::TWinControl(TComponent* AOwner) : TComponent(AOwner) {}

TWinControl::~TWinControl() {
  if (Screen().ActiveControl() == this) Screen().SetActiveControl(nullptr);
  if (FHandle) detail::MainQueue().RemoveWindow(FHandle);
}

HWND TWinControl::Handle() {
  if (!FHandle) FHandle = detail::MainQueue().AddWindow(this);
  return FHandle;
}

void TWinControl::SetFocus() { Screen().SetActiveControl(this); }
bool TWinControl::Focused() const { return Screen().ActiveControl() == this; }

void TWinControl::WndProc(TMessage& Message) {
  if (Message.Msg == WM_CHAR) {
    char key = static_cast<char>(static_cast<unsigned char>(Message.WParam));
    KeyPress(key);
    if (key == 0) return;
    Message.WParam = static_cast<unsigned char>(key);
  }
  DefaultHandler(Message);
}

void TWinControl::DefaultHandler(TMessage&) {}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

}  // namespace vcl
