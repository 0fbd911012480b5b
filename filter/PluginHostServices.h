#pragma once
// The services plug-ins ask of the host through the service function they receive with service 0:
// translation, reasons and the handled mark for the running mail check, the host version, a
// message's body text, codecs, the plug-in's own settings and learning.
#include "filter/plugin_api/corvanthelix_plugin.h"

#include <string_view>

namespace corvanthelix {

struct FilterVerdict;

namespace pluginhost {

/// The host's service function. Answers -1 for a null request, 0 for codes it does not know, and
/// each service's result otherwise. Never lets an exception out.
intptr_t service(ServiceRequest* request);

/// Window and menu translators used by services 0x10000000 / 0x10000001 (see
/// PluginManager::setWidgetTranslators).
using WidgetTranslator = void (*)(void* widget);
void setWidgetTranslators(WidgetTranslator window, WidgetTranslator menu);

/// True when `key` can name a plug-in setting: non-empty, ASCII letters and digits only.
bool isValidSettingKey(const char* key);

/// While an object lives, a reason text that a plug-in sets on this thread for message
/// `messageNumber` goes into `verdict` (the verdict the chain is filling) instead of the running
/// mail check. Objects nest; the innermost one counts.
class ReasonTarget {
public:
    ReasonTarget(int messageNumber, FilterVerdict& verdict);
    ~ReasonTarget();
    ReasonTarget(const ReasonTarget&) = delete;
    ReasonTarget& operator=(const ReasonTarget&) = delete;

    /// The verdict of the innermost live object on this thread for `messageNumber`, or null.
    static FilterVerdict* verdictFor(int messageNumber);

private:
    int messageNumber_;
    FilterVerdict& verdict_;
    ReasonTarget* outer_;
};

} // namespace pluginhost
} // namespace corvanthelix
