#pragma once

#include "upstream/MailMessage.h"
#include "upstream/ProtocolClient.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvanthelix {

class Pop3Client;

/// Downloads a list of whole messages on a thread of its own while its owner works on the ones
/// that have come: RETR pipelined in a window of kWindow commands when the server's CAPA lists
/// PIPELINING, one at a time otherwise (Pop3Client::retrPipelined). Each text is parsed on that
/// thread too. At most `budget` bytes of messages wait to be taken; the download waits beyond.
///
/// While it lives, nothing else may send commands on the client (its log may be written).
/// Threads: one owner thread calls take() and the destructor.
class MessagePrefetch {
public:
    static constexpr std::size_t kWindow = 8;
    static constexpr std::size_t kDefaultBudget = 32u * 1024 * 1024;

    /// One downloaded message: `message` set, or null and why (Refused: the server answered -ERR
    /// to this one and the connection goes on; any other result: the download has ended).
    struct Item {
        std::uint32_t number = 0;
        std::unique_ptr<MailMessage> message;
        UpstreamResult result = UpstreamResult::Ok;
    };

    /// Starts downloading `numbers` (server message numbers, in the order they will be taken)
    /// over `client` (not owned; must outlive this object).
    MessagePrefetch(Pop3Client& client, std::vector<std::uint32_t> numbers,
                    std::size_t budget = kDefaultBudget);
    /// Stops the download (closing the connection when commands are still unanswered) and waits
    /// for its thread.
    ~MessagePrefetch();
    MessagePrefetch(const MessagePrefetch&) = delete;
    MessagePrefetch& operator=(const MessagePrefetch&) = delete;

    /// Waits for the next message of the list and hands it over. `number` must be that next
    /// number; a number out of turn, or a call after the list was taken or the download ended,
    /// gives an Item without message and result NoAnswer.
    Item take(std::uint32_t number);

private:
    void download();
    bool deliver(Item item);

    Pop3Client& client_;
    const std::vector<std::uint32_t> numbers_;
    const std::size_t budget_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> ready_;
    std::size_t readyBytes_ = 0;
    std::size_t taken_ = 0;
    bool finished_ = false; // the download thread has handed its last item
    bool stopping_ = false; // the owner wants no more
    std::thread thread_;
};

} // namespace corvanthelix
