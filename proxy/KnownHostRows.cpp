#include "proxy/KnownHostRows.h"

namespace corvanthelix {

std::string KnownHostRow::pinText() const {
    std::string text;
    for (const CertificatePin& pin : pins) {
        if (!text.empty()) text += "; ";
        text += std::to_string(pin.port) + ": " + pin.fingerprint;
    }
    return text;
}

KnownHostRows::KnownHostRows(std::string path) : path_(std::move(path)) {}

bool KnownHostRows::reload() {
    rows_.clear();
    HostList hosts;
    if (!hosts.load(path_)) return false;
    std::vector<HostEntry> accounts;
    hosts.list(accounts);
    for (HostEntry& account : accounts) {
        KnownHostRow row;
        row.pins = hosts.accountPins(account.server, account.user);
        row.account = std::move(account);
        rows_.push_back(std::move(row));
    }
    return true;
}

bool KnownHostRows::remove(size_t index) {
    if (index >= rows_.size()) return false;
    HostList hosts;
    const HostEntry& account = rows_[index].account;
    if (!hosts.load(path_)) return false;
    hosts.remove(account.server, account.user);
    if (!hosts.save()) return false;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool KnownHostRows::edit(size_t index, const HostEntry& changed) {
    if (index >= rows_.size() || changed.server.empty()) return false;
    HostList hosts;
    if (!hosts.load(path_)) return false;
    const HostEntry& old = rows_[index].account;
    HostEntry stored;
    const bool known = hosts.find(stored, old.server, old.user);
    HostEntry updated = changed;
    updated.tested = known ? stored.tested : true;
    updated.obscuredPassword = known ? stored.obscuredPassword : std::nullopt;
    const bool sameAccount = old.server == changed.server && old.user == changed.user;
    // A password is tied to its account's names; it does not follow a renamed account.
    if (!sameAccount) {
        hosts.remove(old.server, old.user);
        updated.obscuredPassword.reset();
    }
    if (!hosts.update(updated) || !hosts.save()) return false;
    // In place, so that check boxes changed in other rows and not stored yet stay as they are.
    rows_[index].account = updated;
    rows_[index].pins = hosts.accountPins(updated.server, updated.user);
    return true;
}

bool KnownHostRows::forgetPins(size_t index) {
    if (index >= rows_.size()) return false;
    HostList hosts;
    if (!hosts.load(path_) || !hosts.forgetPins(rows_[index].account.server, rows_[index].account.user)) return false;
    if (!hosts.save()) return false;
    rows_[index].pins.clear();
    return true;
}

void KnownHostRows::setSecure(size_t index, bool on) {
    if (index < rows_.size()) rows_[index].account.secure = on;
}

bool KnownHostRows::storeSecureFlags() {
    HostList hosts;
    if (!hosts.load(path_)) return false;
    for (const KnownHostRow& row : rows_) {
        HostEntry stored;
        if (!hosts.find(stored, row.account.server, row.account.user)) continue;
        if (stored.secure == row.account.secure) continue;
        stored.secure = row.account.secure;
        // update() keeps a stored password when the entry carries none.
        stored.obscuredPassword.reset();
        hosts.update(stored);
    }
    return hosts.save();
}

} // namespace corvanthelix
