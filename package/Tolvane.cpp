#include "Tolvane.h"

#include "Barcode.h"

namespace tolvane {

void RegisterComponentClasses() { vcl::RegisterClasses({&TBarcodeBmp::ClassInfo}); }

void UnregisterComponentClasses() { vcl::UnRegisterClass(&TBarcodeBmp::ClassInfo); }

}  // namespace tolvane
