#include "upstream/MessagePrefetch.h"

#include "upstream/Pop3Client.h"

#include <utility>

namespace corvanthelix {

MessagePrefetch::MessagePrefetch(Pop3Client& client, std::vector<std::uint32_t> numbers, std::size_t budget)
    : client_(client), numbers_(std::move(numbers)), budget_(budget) {
    thread_ = std::thread(&MessagePrefetch::download, this);
}

MessagePrefetch::~MessagePrefetch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MessagePrefetch::download() {
    const std::size_t window = numbers_.size() > 1 && client_.offersPipelining() ? kWindow : 1;
    client_.retrPipelined(numbers_, window, [this](Pop3Client::RetrievedText&& text) {
        Item item;
        item.number = text.number;
        item.result = text.result;
        if (text.text) {
            item.message = std::make_unique<MailMessage>();
            item.message->parse(*text.text);
        }
        return deliver(std::move(item));
    });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

bool MessagePrefetch::deliver(Item item) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Beyond the budget the download waits for the owner; one message always fits, so a message
    // larger than the budget still comes.
    changed_.wait(lock, [this] { return stopping_ || ready_.empty() || readyBytes_ < budget_; });
    if (stopping_) return false;
    readyBytes_ += item.message ? item.message->size() : 0;
    ready_.push_back(std::move(item));
    lock.unlock();
    changed_.notify_all();
    return true;
}

MessagePrefetch::Item MessagePrefetch::take(std::uint32_t number) {
    Item item;
    item.number = number;
    item.result = UpstreamResult::NoAnswer;
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ >= numbers_.size() || numbers_[taken_] != number) return item;
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) return item;
    item = std::move(ready_.front());
    ready_.pop_front();
    readyBytes_ -= item.message ? item.message->size() : 0;
    ++taken_;
    lock.unlock();
    changed_.notify_all();
    return item;
}

} // namespace corvanthelix
