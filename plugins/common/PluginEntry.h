#pragma once
// The two exports and the description record's functions of a plug-in, in one place for both
// plug-ins. `Plugin` is the plug-in's class with
//   static Plugin& instance();
//   PluginInfo* Info();
//   void LoadData();   // reads its data unless it is read already
//   void FreeData();   // the cleanup
//   int PartFilter(int messageNumber, const MessagePart* part, double* probability);
//   intptr_t Service(const ServiceRequest& request);
// Every function catches what the plug-in throws: nothing may unwind into the host, which may be
// written in C.
#include "corvanthelix_plugin.h"

#include <cstdint>
#include <cstring>

namespace corvanthelix::plugin {

/// Copies `text` into a text field of PluginInfo, cut to fit with its NUL.
inline void CopyInfoText(char (&field)[CVX_PLUGIN_TEXT_SIZE], const char* text) {
    std::strncpy(field, text, CVX_PLUGIN_TEXT_SIZE - 1);
    field[CVX_PLUGIN_TEXT_SIZE - 1] = '\0';
}

template <class Plugin>
int GuardedPartFilter(int messageNumber, MessagePart* part, double* probability) {
    try {
        return Plugin::instance().PartFilter(messageNumber, part, probability);
    } catch (...) {
        return CVX_UNDECIDED;
    }
}

template <class Plugin>
void GuardedCleanup() {
    try {
        Plugin::instance().FreeData();
    } catch (...) {
    }
}

/// What the library does when it is loaded into the process: read the plug-in's data.
template <class Plugin>
void AttachToProcess() {
    try {
        Plugin::instance().LoadData();
    } catch (...) {
    }
}

/// GetSpamCheckPluginInfo: the description, or null when the plug-in could not be set up.
template <class Plugin>
PluginInfo* InfoForHost() {
    try {
        Plugin& plugin = Plugin::instance();
        // A host that unloaded the plug-in (cleanup freed its data) may load it again without the
        // library having left the process.
        plugin.LoadData();
        return plugin.Info();
    } catch (...) {
        return nullptr;
    }
}

/// ReceiveService: the plug-in's answer, 0 for a null request or when it threw.
template <class Plugin>
intptr_t ServiceForHost(ServiceRequest* request) {
    if (!request) return 0;
    try {
        return Plugin::instance().Service(*request);
    } catch (...) {
        return 0;
    }
}

} // namespace corvanthelix::plugin
