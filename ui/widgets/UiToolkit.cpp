#include "ui/widgets/UiToolkit.h"

#include <QtGlobal>

namespace corvanthelix {

std::string uiToolkitVersion() { return qVersion(); }

} // namespace corvanthelix
