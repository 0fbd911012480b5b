#pragma once
// The local HTTPS server of the update tests (tests/fakes/https_update_server.py), started for
// the life of this object: files written under root() are served on goodPort() with a
// certificate for "localhost" and on wrongNamePort() with one for another name, both signed by
// the CA in caFile().
#include "tests/fakes/TempFolder.h"

#include <string>
#include <sys/types.h>

namespace corvanthelix::testing {

class HttpsUpdateServer {
public:
    /// Starts the server and waits until it listens; ready() is false when it did not start.
    HttpsUpdateServer();
    /// Ends the server (its standard input closes, then SIGTERM to its PID) and waits for it.
    ~HttpsUpdateServer();
    HttpsUpdateServer(const HttpsUpdateServer&) = delete;
    HttpsUpdateServer& operator=(const HttpsUpdateServer&) = delete;

    bool ready() const { return goodPort_ != 0; }
    int goodPort() const { return goodPort_; }
    int wrongNamePort() const { return wrongPort_; }
    std::string caFile() const { return certificates_.file("ca.pem"); }
    /// Writes a served file: `relative` is the request path without the leading "/".
    std::string serve(const std::string& relative, const std::string& content) const {
        return root_.write(relative, content);
    }
    const TempFolder& root() const { return root_; }

private:
    TempFolder root_;
    TempFolder certificates_;
    pid_t pid_ = -1;
    int stdinPipe_ = -1;
    int goodPort_ = 0;
    int wrongPort_ = 0;
};

} // namespace corvanthelix::testing
