// Feeds arbitrary text to the stored-form reader. Reading may fail with a
// read error; it must never crash, read out of bounds or leak a component.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <vcl/Classes.h>

#include "Tolvane.h"

namespace {

// Each barcode component may hold a bitmap of up to 256 MiB; a handful of
// them keeps a run inside the fuzzer's memory limit.
constexpr int MaxObjects = 4;

int CountObjects(const std::string& Text) {
  const std::string lower = vcl::LowerCase(Text);
  int n = 0;
  for (std::size_t at = lower.find("object"); at != std::string::npos; at = lower.find("object", at + 1)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool registered = [] {
    tolvane::RegisterComponentClasses();
    vcl::RegisterClass(&vcl::TComponent::ClassInfo);
    return true;
  }();
  (void)registered;
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  if (CountObjects(text) > MaxObjects) return 0;
  vcl::TComponent owner(nullptr);
  try {
    std::unique_ptr<vcl::TComponent> root(vcl::ReadComponentText(text, &owner));
    // Whatever was read must write out again.
    (void)vcl::WriteComponentText(*root);
  } catch (const vcl::Exception&) {
  }
  return 0;
}
