#include "filter/PluginRecord.h"

#include <cstring>

namespace corvanthelix {

std::string PluginRecord::fileName() const {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PluginRecord::name() const {
    if (!info) return {};
    // The plug-in owns the record and may have left the field without its NUL.
    return std::string(info->name, strnlen(info->name, sizeof info->name));
}

} // namespace corvanthelix
