#pragma once
// The newsletter plug-in: protects wanted newsletters from the spam filters. A message whose
// subject carries one of the user's signatures, or whose first To address is one of the user's
// newsgroup addresses, is non-spam; optionally it is kept out of the training area (reported to
// the host as handled) and learned as non-spam. It asks to run first in the filter chain.
//
// Data lives in the folder "newsletter/" beside the library: "signatures.dat" (text, one signature
// per line) and "recipients.dat" (binary, see RecipientList). The settings NoTraining and
// AutoLearn are kept by the host in the plug-in's section of the settings file.
#include "common/HostLink.h"
#include "common/TextLineList.h"
#include "corvanthelix_plugin.h"
#include "newsletter/RecipientList.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace corvanthelix::newsletter {

class NewsletterPlugin {
public:
    /// The name the plug-in answers service 1 with and the caption of its messages.
    static constexpr const char* kName = "Newsletter Plugin";
    static constexpr const char* kDataFolder = "newsletter";
    static constexpr const char* kSignatureFile = "signatures.dat";
    static constexpr const char* kRecipientFile = "recipients.dat";
    /// The longest signature read from the file.
    static constexpr size_t kMaxSignature = 254;
    /// Settings keys and their defaults. NoTraining: a newsletter is reported to the host as
    /// handled, so that it stays out of the training area. AutoLearn: a reported newsletter is
    /// also learned as non-spam.
    static constexpr const char* kNoTraining = "NoTraining";
    static constexpr bool kNoTrainingDefault = true;
    static constexpr const char* kAutoLearn = "AutoLearn";
    static constexpr bool kAutoLearnDefault = false;

    /// The plug-in of this library (one per process).
    static NewsletterPlugin& instance();

    /// The description record the host reads (GetSpamCheckPluginInfo). Owned by the plug-in.
    PluginInfo* Info() { return &info_; }
    /// The link to the host, set by service 0.
    const plugin::HostLink& Host() const { return host_; }
    /// The settings page list (service 2): "Newsletters" (4005) with "Signatures" (4006) and
    /// "Newsgroups" (4007) below it; null in a build without the desktop toolkit.
    const PageList* Pages();

    /// Makes the data folder and reads both lists, unless they are read already (when the library
    /// is loaded, and again after a cleanup freed them while the library stayed in the process).
    void LoadData();
    /// Frees both lists (the cleanup function).
    void FreeData();
    /// Write the signatures and the newsgroups to their files (what the settings pages do when
    /// the user confirms). False when the file could not be written.
    bool SaveSignatures() const;
    bool SaveRecipients() const;
    plugin::TextLineList& Signatures() { return signatures_; }
    RecipientList& Recipients() { return recipients_; }
    /// Full path of the data folder; "" when the library's folder is unknown.
    std::string DataFolder() const;

    /// A setting as the plug-in reads it through the host: true when its stored text begins with
    /// "1", `fallback` when it is not stored, false when the host refuses the request.
    bool Setting(const char* key, bool fallback) const;

    /// The part filter: +1 (non-spam) when `part` matches (see PartMatches), after reporting
    /// message `messageNumber` as handled when NoTraining is on (to be learned as non-spam when
    /// AutoLearn is on too); else 0. Sets the probability to 0.
    int PartFilter(int messageNumber, const MessagePart* part, double* probability);

    /// The after-delivery check of one part: 0 when NoTraining is off or the part does not match;
    /// otherwise CVX_DELIVERED_HANDLED, with CVX_DELIVERED_LEARN when AutoLearn is on.
    intptr_t AfterDelivery(const MessagePart* part) const;

    /// Answers a service of the host: 0 keeps the host callback, 1 gives the name, 3 asks to run
    /// first, 6 asks for the parts after delivery, 7 checks a delivered part; 0 for others.
    intptr_t Service(const ServiceRequest& request);

private:
    NewsletterPlugin();
    bool matches(const MessagePart& part) const;
    std::string dataFile(const char* name) const;

    PluginInfo info_{};
    plugin::HostLink host_;
    plugin::TextLineList signatures_{kMaxSignature};
    RecipientList recipients_;
    std::mutex loadLock_;
    bool listsLoaded_ = false;
    std::string icons_[3];
};

} // namespace corvanthelix::newsletter
