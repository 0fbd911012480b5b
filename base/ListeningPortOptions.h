#pragma once
// One local listening port as the Connection and SSL/TLS pages edit it: the port as text and the
// box that switches the port on. The port is written only when the typed text or the box differs
// from what the file holds, since only then does the proxy have to listen anew (a restart).
#include <string>

namespace corvanthelix {

class ListeningPortOptions {
public:
    enum class Kind { Plain, Secure };
    /// Longest text the port field takes.
    static constexpr int kMaxPortText = 9;

    /// The port `kind` of `settingsFile`: the stored number as text (the default port when none
    /// is stored) and the box checked when the flag is exactly 1.
    static ListeningPortOptions load(Kind kind, const std::string& settingsFile);

    /// Writes the port text and the flag (0/1) when either differs from the file; returns true
    /// then, meaning the program must restart to listen on it. Writes nothing otherwise.
    bool store(const std::string& settingsFile) const;

    Kind kind = Kind::Plain;
    std::string portText;
    bool enabled = true;
};

} // namespace corvanthelix
