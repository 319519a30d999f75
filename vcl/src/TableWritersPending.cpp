// Temporary: weak stand-ins until the table writers land.
#include "TableFormats.h"
namespace vcl::detail {
__attribute__((weak)) std::unique_ptr<TTableFileWriter> CreateDbfWriter(const std::string&, const std::vector<TTableFieldDef>&, TDbfFlavour) { throw EDatabaseError("dBASE writer missing"); }
__attribute__((weak)) std::unique_ptr<TTableFileWriter> CreateParadoxWriter(const std::string&, const std::vector<TTableFieldDef>&) { throw EDatabaseError("Paradox writer missing"); }
}
