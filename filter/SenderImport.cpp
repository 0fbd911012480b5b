#include "filter/SenderImport.h"

#include "upstream/MailMessage.h"

#include <strings.h>

namespace corvanthelix {

SenderImport::SenderImport(const SenderLists& lists, int list, Confirm confirm)
    : lists_(lists), list_(list), confirm_(std::move(confirm)) {}

ImportOffer SenderImport::offer(const ImportedSender& sender) {
    if (cancelled_) return ImportOffer::Cancelled;
    if (sender.name.empty() || sender.address.empty() || sender.name.size() > kMaxFieldLength ||
        sender.address.size() > kMaxFieldLength)
        return ImportOffer::Skipped;
    SenderEntry known;
    // Known in any list as the same key, also after "Yes to all": the import never overwrites an
    // entry. A pattern that merely covers the address does not count, as in the sender dialog.
    if (lists_.findByAddress(sender.address, known) && strcasecmp(known.address.c_str(), sender.address.c_str()) == 0)
        return ImportOffer::Skipped;
    if (!importAll_) {
        switch (confirm_ ? confirm_(sender) : ImportAnswer::Yes) {
        case ImportAnswer::Cancel: cancelled_ = true; return ImportOffer::Cancelled;
        case ImportAnswer::No: return ImportOffer::Skipped;
        case ImportAnswer::YesToAll: importAll_ = true; break;
        case ImportAnswer::Yes: break;
        }
    }
    SenderEntry entry;
    entry.name = sender.name;
    entry.address = sender.address;
    entry.list = list_;
    if (!lists_.add(entry)) return ImportOffer::Skipped;
    ++count_;
    return ImportOffer::Imported;
}

bool SenderImport::senderOfSource(std::string_view source, int list, SenderEntry& sender) {
    MailMessage message;
    message.parse(source);
    if (!SenderLists::senderOf(message, sender)) return false;
    sender.list = list;
    return true;
}

} // namespace corvanthelix
