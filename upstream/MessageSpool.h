#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace corvanthelix {

struct ServerMessage;

/// Keeps the whole copies a mailbox holds in memory within a budget: beyond it, the copies used
/// least recently are written to files of their own (mode 0600) in the spool folder and freed;
/// a spooled copy is read back when it is asked for again. A first check of a mailbox of any size
/// so needs memory for about the budget, not for the mailbox.
///
/// Copies are moved out only in trim(), which the owner calls where no pointer to a held copy is
/// in use; loading and holding never move anything out. The files are removed when the copy is
/// dropped and when the spool is closed or destroyed; the folder is removed with its last file.
///
/// Not thread-safe: it belongs to one Mailbox, under the mailbox's lock.
class MessageSpool {
public:
    static constexpr std::size_t kDefaultBudget = 16u * 1024 * 1024;

    MessageSpool() = default;
    ~MessageSpool();
    MessageSpool(const MessageSpool&) = delete;
    MessageSpool& operator=(const MessageSpool&) = delete;

    /// Spools into `folder` once more than `budget` bytes of copies are held; the folder is made
    /// (mode 0700) with the first file, and files an earlier run left there are removed now.
    /// Returns false, and spools nothing, when a file stands where a parent folder should be. A
    /// folder that cannot be made later keeps the copies in memory, as without a spool.
    bool open(const std::string& folder, std::size_t budget = kDefaultBudget);
    /// Removes every spool file and the folder; copies held in memory stay.
    void close();
    bool isOpen() const { return !folder_.empty(); }

    /// `message` holds a whole copy in memory now (just downloaded, taken over or loaded back):
    /// it is counted against the budget and becomes the most recently used.
    void held(ServerMessage& message);
    /// `message` is used again: it becomes the most recently used.
    void touched(ServerMessage& message);
    /// Loads the spooled copy of `message` back into memory. Returns false, leaving the message
    /// without a copy, when the file is gone, unreadable or not the size it was written with.
    bool load(ServerMessage& message);
    /// `message`'s copy goes (dropped or replaced): its file is removed and its bytes uncounted.
    void forget(ServerMessage& message);
    /// Writes the least recently used copies to files and frees them until the held bytes fit
    /// the budget. A copy that cannot be written stays in memory (nothing is lost; the budget is
    /// then exceeded). Returns the number of copies moved out.
    std::size_t trim();

    /// Bytes of whole copies held in memory that the spool counts.
    std::uint64_t heldBytes() const { return heldBytes_; }
    /// Number of copies that are in files now.
    std::size_t spooledCount() const { return spooledCount_; }
    const std::string& folder() const { return folder_; }
    std::size_t budget() const { return budget_; }

private:
    bool writeOut(ServerMessage& message);
    void removeFile(ServerMessage& message);

    std::string folder_;
    bool folderMade_ = false;
    std::size_t budget_ = kDefaultBudget;
    std::uint64_t heldBytes_ = 0;
    std::size_t spooledCount_ = 0;
    std::uint64_t clock_ = 0;
    std::uint64_t nextFile_ = 0;
    // Held copies by their last use, oldest first; an item whose stamp is no longer the
    // message's was superseded by a later use and is skipped.
    std::deque<std::pair<ServerMessage*, std::uint64_t>> uses_;
};

} // namespace corvanthelix
