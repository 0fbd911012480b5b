#include "proxy/ReadySession.h"

#include "net/Connection.h"
#include "proxy/ProxyServer.h"
#include "proxy/SessionControl.h"

#include <strings.h>

#include <mutex>
#include <string>

namespace corvanthelix {

namespace {

constexpr std::size_t kLongestClientLine = 64 * 1024;

bool isCommand(const std::string& line, const char* verb) { return strncasecmp(line.c_str(), verb, 4) == 0; }

} // namespace

void runReadySession(SessionControl& session) {
    Connection& client = session.client();
    // The greeting goes out before the lock, so a second mail client sees it at once.
    client.writeText("+OK Ready\r\n");
    std::lock_guard<std::recursive_mutex> lock(session.server().sessionLock());
    std::string line;
    while (client.readLine(line, kLongestClientLine) > 0) {
        if (isCommand(line, "QUIT")) {
            client.writeText("+OK\r\n");
            break;
        }
        client.writeText(isCommand(line, "NOOP") ? "+OK\r\n" : "-ERR Corvanthelix: Unknown command\r\n");
    }
}

} // namespace corvanthelix
