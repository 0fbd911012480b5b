#pragma once
// The accounts of the host list as the known hosts dialog shows and edits them: one row per
// account with its TLS flag, host, user name, port and pinned certificates. Deleting, editing and
// forgetting pins write the file at once; the TLS flags changed by the check boxes are written by
// storeSecureFlags() (the dialog's OK).
#include "proxy/HostList.h"

#include <string>
#include <vector>

namespace corvanthelix {

struct KnownHostRow {
    HostEntry account;
    std::vector<CertificatePin> pins;

    /// The pins as one line: "port: fingerprint" items joined by "; "; "" without pins.
    std::string pinText() const;
};

class KnownHostRows {
public:
    /// Rows of the host list file at `path` (not read yet: call reload()).
    explicit KnownHostRows(std::string path);

    /// Reads the file again; false when it cannot be read (the rows are then empty).
    bool reload();
    const std::vector<KnownHostRow>& rows() const { return rows_; }

    /// Removes row `index`'s account from the file and the rows. False for a bad index or when the
    /// file cannot be written.
    bool remove(size_t index);
    /// Replaces row `index`'s account by `changed` (host, user name, port, TLS flag) in the file,
    /// keeping its stored password and, while host and user name stay, its pins. False for a bad
    /// index, an empty host, or when the file cannot be written.
    bool edit(size_t index, const HostEntry& changed);
    /// Removes the pins of row `index`'s account from the file. False when it had none.
    bool forgetPins(size_t index);

    /// Sets row `index`'s TLS flag in memory.
    void setSecure(size_t index, bool on);
    /// Writes every row's TLS flag into the file; false when it cannot be written.
    bool storeSecureFlags();

private:
    std::string path_;
    std::vector<KnownHostRow> rows_;
};

} // namespace corvanthelix
