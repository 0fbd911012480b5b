#pragma once
// The chi-square plug-in: a statistical filter over the whole message (header fields and body)
// that learns whatever the host learns (the training area, friends, blocked senders, restored
// messages: service 5) into its own word database, "chisquare/words.db" beside the library.
//
// It judges the message source: spam at a chi-square indicator of at least the spam cut-off,
// non-spam at most the non-spam cut-off, undecided between and while it has not learned both
// kinds yet. It asks to run first in the chain, so that by default it comes before the learning
// filter; a non-spam verdict is meant to let the chain go on (the host's default behaviour for
// this plug-in), so the other filters still see what it lets through.
#include "chisquare/ChiSquareFilter.h"
#include "chisquare/ChiSquareSettings.h"
#include "common/HostLink.h"
#include "corvanthelix_plugin.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace corvanthelix::chisquare {

class ChiSquarePlugin {
public:
    static constexpr const char* kName = "Chi-Square Filter";
    static constexpr const char* kDataFolder = "chisquare";
    static constexpr const char* kDatabaseFile = "words.db";
    /// The German texts of the settings page, beside the library.
    static constexpr const char* kGermanLanguageFile = "chisquare.deutsch.language";
    static constexpr int kGermanLanguageId = 0x407;
    /// The dialog id of the settings page within the plug-in's page list.
    static constexpr uint32_t kPageDialogId = 4005;

    /// The plug-in of this library (one per process).
    static ChiSquarePlugin& instance();

    /// The description record the host reads. Owned by the plug-in.
    PluginInfo* Info() { return &info_; }
    /// Makes the data folder and reads the database unless it is read already.
    void LoadData();
    /// Forgets the database (the cleanup; every learned message is on disk already).
    void FreeData();
    /// Full path of the data folder; "" when the library's folder is unknown.
    std::string DataFolder() const;

    /// The source filter: CVX_SPAM, CVX_NON_SPAM or CVX_UNDECIDED for the message source `text`,
    /// with the indicator in *probability; a spam verdict sets the message's reason.
    int SourceFilter(int messageNumber, const char* text, double* probability);

    /// Answers a service of the host: 0 keeps the callback, 1 gives the name, 2 gives the settings
    /// page (in a build with Qt), 3 asks to run first, 4 gives the German language file for
    /// language id 0x407, 5 learns the message; 0 for the others.
    intptr_t Service(const ServiceRequest& request);

    /// The choice stored in the host's settings (Normal when none is stored or no host is known).
    Aggressiveness aggressiveness() const;
    /// Applies `choice` to the filter and stores it in the host's settings. False when the host
    /// refused to store it (the filter uses it all the same).
    bool setAggressiveness(Aggressiveness choice);

    /// `text` translated by the host into the program's language; `text` itself without a host.
    std::string translate(const char* text) const;

    ChiSquareFilter& filter() { return filter_; }

private:
    ChiSquarePlugin();

    PluginInfo info_{};
    plugin::HostLink host_;
    ChiSquareFilter filter_;
    std::string languageFile_;
    std::mutex loadLock_;
    bool loaded_ = false;
};

} // namespace corvanthelix::chisquare
