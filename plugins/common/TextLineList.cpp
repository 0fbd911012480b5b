#include "common/TextLineList.h"

#include "common/PluginFiles.h"
#include "common/PluginText.h"

#include <algorithm>

namespace corvanthelix::plugin {

bool TextLineList::Load(const std::string& path) {
    std::vector<std::string> lines;
    if (!ReadTextLines(path, maxLength_, lines)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    for (std::string& line : lines) entries_.push_front(std::move(line));
    return true;
}

bool TextLineList::Save(const std::string& path) const {
    std::string text;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (const std::string& entry : entries_) text.append(entry).push_back('\n');
    }
    return ReplaceFile(path, text);
}

TextLineList::AddResult TextLineList::Add(std::string_view entry) {
    if (entry.empty()) return AddResult::Empty;
    std::lock_guard<std::mutex> hold(lock_);
    for (const std::string& listed : entries_)
        if (EqualsNoCase(listed, entry)) return AddResult::Duplicate;
    entries_.emplace_front(entry);
    return AddResult::Added;
}

bool TextLineList::Remove(std::string_view entry) {
    std::lock_guard<std::mutex> hold(lock_);
    size_t before = entries_.size();
    entries_.remove_if([&](const std::string& listed) { return EqualsNoCase(listed, entry); });
    return entries_.size() != before;
}

void TextLineList::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.clear();
}

std::vector<std::string> TextLineList::Entries() const {
    std::lock_guard<std::mutex> hold(lock_);
    return {entries_.begin(), entries_.end()};
}

bool TextLineList::Any(const std::function<bool(const std::string&)>& test) const {
    std::lock_guard<std::mutex> hold(lock_);
    return std::any_of(entries_.begin(), entries_.end(), test);
}

} // namespace corvanthelix::plugin
