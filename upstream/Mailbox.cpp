#include "upstream/Mailbox.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace corvanthelix {

namespace {
std::uint32_t clampedSize(std::size_t size) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX));
}
} // namespace

Mailbox::Mailbox() : client_(std::make_unique<Pop3Client>()) {}

Mailbox::~Mailbox() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    client_->disconnect();
    client_.reset();
    messages_.clear();
    spool_.close();
}

UpstreamResult Mailbox::connect(const std::string& host, int port, SSL_CTX* tlsContext) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->connect(host, port, tlsContext);
}

UpstreamResult Mailbox::login(const std::string& user, const std::string& password) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->login(user, password);
}

UpstreamResult Mailbox::quit() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->quit();
}

void Mailbox::disconnect() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    client_->disconnect();
}

UpstreamResult Mailbox::noop() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!client_->isConnected()) return UpstreamResult::NoAnswer;
    return client_->noop();
}

int Mailbox::openServerLog(const char* path, std::uint32_t maxSize) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->openServerLog(path, maxSize);
}

std::uint32_t Mailbox::setTimeout(std::uint32_t milliseconds) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->setTimeout(milliseconds);
}

void Mailbox::setProgressCallback(ProtocolClient::ProgressCallback callback) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    client_->setProgressCallback(std::move(callback));
}

void Mailbox::setTimeoutHandler(ProtocolClient::TimeoutHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    client_->setTimeoutHandler(std::move(handler));
}

std::optional<std::string> Mailbox::lastResponse() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->lastResponse();
}

UpstreamResult Mailbox::lastError() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->lastError();
}

bool Mailbox::isConnected() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return client_->isConnected();
}

bool Mailbox::buildList() {
    if (listBuilt_) return true;
    const std::vector<Pop3ListEntry>* entries = client_->list();
    // A list that could not be read is not taken for an empty mailbox.
    if (!entries && !client_->listEmpty()) return false;
    if (entries) {
        messages_.reserve(entries->size());
        ServerMessage* previous = nullptr;
        for (const Pop3ListEntry& entry : *entries) {
            auto message = std::make_unique<ServerMessage>();
            message->number = entry.number;
            message->size = entry.size;
            message->uid = entry.uid;
            message->previous = previous;
            if (previous) previous->next = message.get();
            previous = message.get();
            messages_.push_back(std::move(message));
        }
    }
    listBuilt_ = true;
    return true;
}

ServerMessage* Mailbox::messages() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!buildList() || messages_.empty()) return nullptr;
    return messages_.front().get();
}

ServerMessage* Mailbox::find(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!buildList()) return nullptr;
    if (number >= 1 && number <= messages_.size() && messages_[number - 1]->number == number)
        return messages_[number - 1].get();
    auto found = std::find_if(messages_.begin(), messages_.end(),
                              [number](const auto& message) { return message->number == number; });
    return found == messages_.end() ? nullptr : found->get();
}

int Mailbox::count(std::uint64_t* totalSize) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    buildList();
    if (totalSize) {
        *totalSize = 0;
        for (const auto& message : messages_) *totalSize += message->size;
    }
    return static_cast<int>(messages_.size());
}

bool Mailbox::spoolTo(const std::string& folder, std::size_t budget) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return spool_.open(folder, budget);
}

std::size_t Mailbox::trim() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return spool_.trim();
}

ServerMessage* Mailbox::whole(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (!entry) return nullptr;
    if (entry->holdsWhole()) {
        spool_.touched(*entry);
        return entry;
    }
    return entry->spooled() && spool_.load(*entry) ? entry : nullptr;
}

ServerMessage* Mailbox::loaded(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (entry && !entry->message) whole(number);
    else if (entry) spool_.touched(*entry);
    return entry;
}

void Mailbox::hold(ServerMessage& entry, std::unique_ptr<MailMessage> copy) {
    spool_.forget(entry);
    entry.message = std::move(copy);
    spool_.held(entry);
}

ServerMessage* Mailbox::retr(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (!entry) return nullptr;
    // A header-only copy is no answer to a request for the whole message.
    if (whole(number)) return entry;
    std::unique_ptr<MailMessage> copy = client_->retr(entry->number);
    if (!copy) return nullptr;
    entry->size = clampedSize(copy->size());
    hold(*entry, std::move(copy));
    return entry;
}

ServerMessage* Mailbox::top(std::uint32_t number, int lines) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (!entry) return nullptr;
    if (entry->message || whole(number)) return entry;
    std::unique_ptr<MailMessage> copy = client_->top(entry->number, lines);
    if (!copy) return nullptr;
    hold(*entry, std::move(copy));
    return entry;
}

ServerMessage* Mailbox::setFromExternal(std::uint32_t number, const MailMessage& message) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (!entry) return nullptr;
    if (entry->message || whole(number)) return entry;
    char note[128];
    std::snprintf(note, sizeof note,
                  "         C: RETR (receiving message (ID=%i) from external source (maybe cache))",
                  static_cast<int>(number));
    client_->writeServerLog(note);
    auto copy = std::make_unique<MailMessage>();
    copy->copy(message);
    entry->size = clampedSize(copy->size());
    hold(*entry, std::move(copy));
    return entry;
}

ServerMessage* Mailbox::adopt(std::uint32_t number, std::unique_ptr<MailMessage> copy) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (!entry || !copy) return nullptr;
    entry->size = clampedSize(copy->size());
    hold(*entry, std::move(copy));
    return entry;
}

void Mailbox::dropMessage(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (ServerMessage* entry = find(number)) {
        spool_.forget(*entry);
        entry->message.reset();
        entry->size = 0;
    }
}

UpstreamResult Mailbox::dele(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ServerMessage* entry = find(number);
    if (!entry) return UpstreamResult::NoAnswer;
    return client_->dele(entry->number);
}

} // namespace corvanthelix
