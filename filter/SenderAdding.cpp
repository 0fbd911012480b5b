#include "filter/SenderAdding.h"

#include "upstream/MailMessage.h"

#include <strings.h>

namespace corvanthelix {

SenderFieldCheck SenderAdding::checkFields(const std::string& name, const std::string& address) {
    if (name.empty() || address.empty()) return SenderFieldCheck::Missing;
    if (name.size() > kMaxFieldLength || address.size() > kMaxFieldLength) return SenderFieldCheck::TooLong;
    return SenderFieldCheck::Valid;
}

std::string SenderAdding::normalizedAddress(const std::string& address) {
    return !address.empty() && address.front() == '@' ? "*" + address : address;
}

SenderAddOutcome SenderAdding::add(const SenderLists& lists, const SenderEntry& entry) {
    SenderEntry existing;
    // Only the same key counts as listed: a pattern that covers the address does not.
    if (lists.findByAddress(entry.address, existing) && strcasecmp(existing.address.c_str(), entry.address.c_str()) == 0)
        return SenderAddOutcome::AlreadyListed;
    return lists.add(entry) ? SenderAddOutcome::Added : SenderAddOutcome::Refused;
}

std::vector<SenderEntry> SenderAdding::sendersOfFiles(const std::vector<std::string>& paths, int list) {
    std::vector<SenderEntry> senders;
    for (const std::string& path : paths) {
        MailMessage message;
        if (message.loadFile(path) != 0) continue;
        SenderEntry sender;
        if (!SenderLists::senderOf(message, sender)) continue;
        sender.list = list;
        senders.push_back(std::move(sender));
    }
    return senders;
}

int SenderAdding::manySendersQuestion(int list) {
    return list == SenderEntry::kFriend ? kStringManyFriends : kStringManyBlocked;
}

} // namespace corvanthelix
