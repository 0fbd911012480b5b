#include "newsletter/RecipientList.h"

#include "common/PluginFiles.h"
#include "common/PluginText.h"

#include <algorithm>
#include <optional>

namespace corvanthelix::newsletter {

using plugin::EqualsNoCase;

namespace {

/// The NUL-terminated string at the front of `data` (cut to kMaxText characters), leaving `data`
/// after its NUL. A string that the end of the data cuts off counts as well.
std::optional<std::string> takeString(std::string_view& data) {
    if (data.empty()) return std::nullopt;
    size_t end = data.find('\0');
    std::string_view text = data.substr(0, end);
    data = end == std::string_view::npos ? std::string_view() : data.substr(end + 1);
    return std::string(text.substr(0, RecipientList::kMaxText));
}

} // namespace

bool RecipientList::Load(const std::string& path) {
    std::string bytes;
    if (!plugin::ReadWholeFile(path, bytes)) return false;
    std::string_view data = bytes;
    std::lock_guard<std::mutex> hold(lock_);
    while (std::optional<std::string> name = takeString(data)) {
        std::optional<std::string> address = takeString(data);
        if (!address) break;
        if (name->empty() || address->empty()) continue;
        entries_.push_front({std::move(*name), std::move(*address)});
    }
    return true;
}

bool RecipientList::Save(const std::string& path) const {
    std::string bytes;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (const Recipient& entry : entries_) {
            bytes.append(entry.name).push_back('\0');
            bytes.append(entry.address).push_back('\0');
        }
    }
    return plugin::ReplaceFile(path, bytes);
}

RecipientList::AddResult RecipientList::Add(std::string_view name, std::string_view address) {
    if (name.empty() || address.empty()) return AddResult::Empty;
    std::lock_guard<std::mutex> hold(lock_);
    for (const Recipient& entry : entries_)
        if (EqualsNoCase(entry.address, address)) return AddResult::Duplicate;
    entries_.push_front({std::string(name), std::string(address)});
    return AddResult::Added;
}

bool RecipientList::Remove(std::string_view address) {
    std::lock_guard<std::mutex> hold(lock_);
    size_t before = entries_.size();
    entries_.remove_if([&](const Recipient& entry) { return EqualsNoCase(entry.address, address); });
    return entries_.size() != before;
}

void RecipientList::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.clear();
}

bool RecipientList::Contains(std::string_view address) const {
    std::lock_guard<std::mutex> hold(lock_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Recipient& entry) { return EqualsNoCase(entry.address, address); });
}

std::vector<Recipient> RecipientList::Entries() const {
    std::lock_guard<std::mutex> hold(lock_);
    return {entries_.begin(), entries_.end()};
}

} // namespace corvanthelix::newsletter
