#include "upstream/MessageSpool.h"

#include "base/AtomicFile.h"
#include "base/UniqueFd.h"
#include "upstream/ServerMessage.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace {

constexpr const char* kSuffix = ".spool";

bool isSpoolFileName(const char* name) {
    const std::size_t length = std::strlen(name);
    const std::size_t suffix = std::strlen(kSuffix);
    return length > suffix && std::strcmp(name + length - suffix, kSuffix) == 0;
}

// Removes the spool files in `folder` (a trailing "/"), then the folder when that left it empty.
void removeSpoolFiles(const std::string& folder) {
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(dir))
            if (isSpoolFileName(item->d_name)) ::unlink((folder + item->d_name).c_str());
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

} // namespace

MessageSpool::~MessageSpool() { close(); }

bool MessageSpool::open(const std::string& folder, std::size_t budget) {
    if (folder.empty()) return false;
    std::string path = folder.back() == '/' ? folder : folder + "/";
    budget_ = budget;
    // Opened again for the same folder (a run tried again): the files in it are still in use.
    if (path == folder_) return true;
    close();
    // What a run that ended without cleaning up left behind is of no use to anybody.
    removeSpoolFiles(path);
    // The folder is made when the first copy goes out, so that a check that fits the budget
    // leaves no trace; one that cannot be made now would not be made then either.
    const std::string parent = path.substr(0, path.rfind('/', path.size() - 2));
    struct stat info {};
    if (!parent.empty() && ::stat(parent.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) return false;
    folder_ = std::move(path);
    return true;
}

void MessageSpool::close() {
    if (folder_.empty()) return;
    if (folderMade_) removeSpoolFiles(folder_);
    folderMade_ = false;
    folder_.clear();
    spooledCount_ = 0;
    // The messages keep stale file names; close() is only called when they go too, or before a
    // new run of the mailbox's owner, which drops or replaces every copy it holds.
}

void MessageSpool::held(ServerMessage& message) {
    if (!message.holdsWhole()) return;
    if (message.spool.counted == 0) {
        message.spool.counted = message.message->size();
        heldBytes_ += message.spool.counted;
    }
    touched(message);
}

void MessageSpool::touched(ServerMessage& message) {
    if (message.spool.counted == 0) return;
    message.spool.lastUse = ++clock_;
    uses_.emplace_back(&message, message.spool.lastUse);
}

bool MessageSpool::load(ServerMessage& message) {
    if (!message.spooled()) return message.holdsWhole();
    auto copy = std::make_unique<MailMessage>();
    if (copy->loadFile(message.spool.file) != 0 || copy->size() != message.spool.fileSize) {
        // The copy is lost to this session; the caller downloads it again or fails the command.
        forget(message);
        return false;
    }
    message.message = std::move(copy);
    --spooledCount_;
    held(message);
    return true;
}

void MessageSpool::forget(ServerMessage& message) {
    if (message.spool.counted != 0) {
        heldBytes_ -= message.spool.counted;
        message.spool.counted = 0;
    }
    message.spool.lastUse = 0;
    if (message.spooled()) --spooledCount_;
    removeFile(message);
}

std::size_t MessageSpool::trim() {
    if (folder_.empty()) return 0;
    std::size_t moved = 0;
    while (heldBytes_ > budget_ && !uses_.empty()) {
        auto [message, stamp] = uses_.front();
        uses_.pop_front();
        // Superseded by a later use, or no longer held.
        if (message->spool.lastUse != stamp || !message->holdsWhole() || message->spool.counted == 0) continue;
        if (!writeOut(*message)) continue; // stays in memory: nothing may be lost
        heldBytes_ -= message->spool.counted;
        message->spool.counted = 0;
        message->spool.lastUse = 0;
        message->message.reset();
        ++spooledCount_;
        ++moved;
    }
    // Items of copies used again pile up when nothing needs to be moved out; they are dropped
    // once they far outnumber the held copies.
    if (uses_.size() > 4096 && heldBytes_ <= budget_) {
        std::deque<std::pair<ServerMessage*, std::uint64_t>> live;
        for (const auto& item : uses_)
            if (item.first->spool.lastUse == item.second && item.first->spool.counted != 0) live.push_back(item);
        uses_.swap(live);
    }
    return moved;
}

bool MessageSpool::writeOut(ServerMessage& message) {
    // Held copies never change: a copy loaded back from its file is in that file already.
    if (!message.spool.file.empty()) return true;
    if (!folderMade_) {
        if (!ensureFolder(folder_.substr(0, folder_.size() - 1))) return false;
        folderMade_ = true;
    }
    const std::string path = folder_ + std::to_string(++nextFile_) + kSuffix;
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.valid()) return false;
    const std::string& text = message.message->source();
    if (!writeAll(file.get(), text) || ::close(file.release()) != 0) {
        ::unlink(path.c_str());
        return false;
    }
    message.spool.file = path;
    message.spool.fileSize = text.size();
    return true;
}

void MessageSpool::removeFile(ServerMessage& message) {
    if (message.spool.file.empty()) return;
    ::unlink(message.spool.file.c_str());
    message.spool.file.clear();
    message.spool.fileSize = 0;
}

} // namespace corvanthelix
