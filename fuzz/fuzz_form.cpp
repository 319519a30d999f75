// Feeds arbitrary text to the stored-form reader. Reading may fail with a
// read error; it must never crash, read out of bounds or leak a component.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <vcl/Classes.h>

#include "Tolvane.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool registered = [] {
    tolvane::RegisterComponentClasses();
    vcl::RegisterClass(&vcl::TComponent::ClassInfo);
    return true;
  }();
  (void)registered;
  vcl::TComponent owner(nullptr);
  try {
    std::unique_ptr<vcl::TComponent> root(
        vcl::ReadComponentText(std::string(reinterpret_cast<const char*>(Data), Size), &owner));
    // Whatever was read must write out again.
    (void)vcl::WriteComponentText(*root);
  } catch (const vcl::Exception&) {
  }
  return 0;
}
