#include "proxy/SessionControl.h"

#include "net/Connection.h"

#include <algorithm>

namespace corvanthelix {

SessionControl::SessionControl(Connection& client, bool tlsPort, ProxyServer& server)
    : client_(client), tlsPort_(tlsPort), server_(server) {}

bool SessionControl::attach(Connection& upstream) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ending_) {
        upstream.close();
        return false;
    }
    attached_.push_back(&upstream);
    return true;
}

void SessionControl::detach(Connection& upstream) {
    std::lock_guard<std::mutex> lock(mutex_);
    attached_.erase(std::remove(attached_.begin(), attached_.end(), &upstream), attached_.end());
}

void SessionControl::closeAll() {
    // Held while closing, so a connection cannot be detached and destroyed under the close.
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    client_.close();
    for (Connection* upstream : attached_) upstream->close();
}

bool SessionControl::ending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ending_;
}

} // namespace corvanthelix
