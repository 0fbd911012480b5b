#include "app/StoreRepair.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "stores/RecycleBin.h"

#include <string>

namespace corvanthelix {

namespace {
constexpr int kStringBinIndexRepaired = 1402;

// Fills the one "%s" of a translated text; anything else is copied as it is.
std::string withName(const std::string& format, const std::string& name) {
    const std::size_t at = format.find("%s");
    return at == std::string::npos ? format : format.substr(0, at) + name + format.substr(at + 2);
}
} // namespace

bool StoreRepair::repairDamagedStores() {
    const std::string kept = RecycleBin::instance().repairDamagedIndex();
    if (kept.empty()) return false;
    const std::string text = withName(loadString(kStringBinIndexRepaired), kept);
    Application::instance().showMessageText(text, mb::kOk | mb::kIconExclamation);
    return true;
}

} // namespace corvanthelix
