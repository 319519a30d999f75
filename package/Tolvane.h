// The package: what an application or a design environment calls once.
#pragma once

namespace tolvane {

// The package description shown by design environments.
inline constexpr const char* PackageDescription = "Tolvane Components";

// Registers the package's component classes with the class library so that
// stored forms holding them can be read. Safe to call more than once.
void RegisterComponentClasses();
void UnregisterComponentClasses();

}  // namespace tolvane
