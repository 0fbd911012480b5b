#pragma once
#include <string>

namespace corvanthelix {

/// Returns the version of the widget toolkit the desktop shell runs on, e.g. "6.4.2".
std::string uiToolkitVersion();

} // namespace corvanthelix
