#pragma once
// One run of an import into the sender lists: each address found in a source is offered in turn;
// addresses already in a list are skipped silently, the rest are imported after the user's answer
// (or at once after "Yes to all"), and the run counts what the lists accepted.
#include "filter/SenderLists.h"

#include <functional>
#include <string>
#include <string_view>

namespace corvanthelix {

/// One address a source offers: the display name and the mail address or pattern.
struct ImportedSender {
    std::string name;
    std::string address;
};

/// The user's answer to "Do you want to import this address?".
enum class ImportAnswer { Yes, YesToAll, No, Cancel };

/// What became of one offered address.
enum class ImportOffer {
    Imported,
    Skipped,   ///< missing or too long, already listed, answered No, or refused by the lists
    Cancelled, ///< the user cancelled: the whole import stops
};

class SenderImport {
public:
    /// Names and addresses longer than this are skipped.
    static constexpr size_t kMaxFieldLength = 250;
    static constexpr int kStringImported = 146;
    static constexpr int kStringConfirm = 147;

    /// Asked for each new address unless "Yes to all" was answered.
    using Confirm = std::function<ImportAnswer(const ImportedSender&)>;

    /// A run that adds to `lists` with list kind `list` (SenderEntry::kBlocked or kFriend). The
    /// lists must outlive the run.
    SenderImport(const SenderLists& lists, int list, Confirm confirm);

    /// Offers one address; see ImportOffer. After a Cancelled answer every later offer is
    /// Cancelled too.
    ImportOffer offer(const ImportedSender& sender);
    /// Addresses the lists accepted during this run.
    int count() const { return count_; }
    bool cancelled() const { return cancelled_; }

    /// The sender of a whole message given as its source text (a dropped message), with list
    /// `list`. False when the message has no usable From header.
    static bool senderOfSource(std::string_view source, int list, SenderEntry& sender);

private:
    const SenderLists& lists_;
    int list_;
    Confirm confirm_;
    bool importAll_ = false;
    bool cancelled_ = false;
    int count_ = 0;
};

} // namespace corvanthelix
