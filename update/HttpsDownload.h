#pragma once
// One HTTPS transfer of one address into one file, through libcurl: only https, the server's
// certificate and host name verified against the system's trust store (or a CA file given for
// tests), no redirects, a size cap, a stall time-out, and a progress callback that can cancel.
// The file appears under its name only when the whole body arrived; a failed or cancelled
// transfer leaves no file behind (an older file of the same name stays as it was).
#include <cstdint>
#include <functional>
#include <string>

namespace corvanthelix {

/// The outcome of a transfer; the values are the update check's result codes.
enum class DownloadResult { done = 0, failed = 1, cancelled = 2 };

/// Why a transfer failed, for the log and the tests.
enum class DownloadFault {
    none,
    refusedAddress,  ///< not an https address
    connection,      ///< no connection, or the TLS handshake failed for another reason
    certificate,     ///< the server's certificate or host name did not verify
    httpStatus,      ///< the server answered with a status other than 200
    tooLarge,        ///< the body (or its announced length) is larger than the cap
    timedOut,        ///< no connection in time, or the transfer stalled
    file,            ///< the target file could not be written
    cancelled,       ///< the progress callback asked to stop
};

struct DownloadOptions {
    /// PEM file of the certificate authorities to trust instead of the system's store; empty
    /// for the system's store. Only tests set it.
    std::string caFile;
    /// The largest body accepted, in bytes.
    std::uint64_t maxBytes = 512ull * 1024 * 1024;
    long connectTimeoutSeconds = 15;
    /// The transfer ends when it moved less than one byte per second for this long.
    long stallSeconds = 30;
};

class HttpsDownload {
public:
    /// Called after each chunk with the bytes so far and the announced total (0 when the server
    /// gave none); returns true to cancel the transfer.
    using Progress = std::function<bool(std::uint64_t received, std::uint64_t total)>;

    explicit HttpsDownload(DownloadOptions options) : options_(std::move(options)) {}

    /// Fetches `url` (which must start with "https://") into `targetPath`, replacing that file
    /// only on success. `progress` may be empty. Thread-safe for separate objects.
    DownloadResult fetch(const std::string& url, const std::string& targetPath, const Progress& progress);

    /// Why the last fetch failed (none after a success).
    DownloadFault lastFault() const { return fault_; }
    /// The HTTP status of the last fetch (0 when there was no answer).
    long lastStatus() const { return status_; }

private:
    DownloadOptions options_;
    DownloadFault fault_ = DownloadFault::none;
    long status_ = 0;
};

} // namespace corvanthelix
