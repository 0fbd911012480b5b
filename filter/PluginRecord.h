#pragma once
// The plug-in manager's entry for one plug-in library.
#include "filter/PluginLibrary.h"
#include "filter/plugin_api/corvanthelix_plugin.h"

#include <memory>
#include <string>

namespace corvanthelix {

struct PluginRecord {
    /// The plug-in's description: the plug-in's own record while its library is loaded, the
    /// host's copy after an unload (for display only: the copy's function fields are null). Null
    /// only for a record that never loaded.
    const PluginInfo* info = nullptr;
    /// The two exports; null while the library is not loaded (receiveService also when the
    /// plug-in does not export it).
    CvxGetPluginInfoFunction getInfo = nullptr;
    CvxServiceFunction receiveService = nullptr;
    /// The loaded library; closed while the plug-in is unloaded.
    PluginLibrary module;
    /// Full path of the library.
    std::string path;
    /// The user's choice; a disabled plug-in is unloaded.
    bool enabled = false;
    /// The host's copy of the description, made when the library was unloaded.
    std::unique_ptr<PluginInfo> infoCopy;
    /// A fault of the plug-in has been shown to the user since the library was loaded, so later
    /// faults of the same load are not shown again.
    bool faultReported = false;

    bool loaded() const { return module.isOpen(); }
    /// The library's file name without folder: the plug-in's key in the settings.
    std::string fileName() const;
    /// The name from the description (at most 79 characters); "" without a description.
    std::string name() const;
};

} // namespace corvanthelix
