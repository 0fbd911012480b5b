#include "base/ParentalControl.h"

#include "base/Settings.h"
#include "base/TextUtils.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

namespace corvanthelix {

namespace {
std::string_view cut(std::string_view text) { return text.substr(0, ParentalControl::kMaxPasswordLength); }
} // namespace

std::string ParentalControl::passwordRecord(std::string_view password) {
    password = cut(password);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%03i", static_cast<int>(password.size()));
    std::string record = prefix;
    if (EVP_Digest(password.data(), password.size(), digest.data(), &digestLength, EVP_md5(), nullptr) != 1)
        return record;
    // The encoder ends at a zero byte of the digest; files written so keep matching.
    char encoded[kDigestTextLimit + 1];
    QEncode(reinterpret_cast<const char*>(digest.data()), digestLength, encoded, sizeof encoded);
    return record + encoded;
}

bool ParentalControl::matches(std::string_view typed, std::string_view storedRecord) {
    return !storedRecord.empty() && passwordRecord(typed) == storedRecord;
}

int ParentalControl::recordedLength(std::string_view storedRecord) {
    const std::string digits(storedRecord.substr(0, 3));
    return std::atoi(digits.c_str());
}

std::string ParentalControl::placeholderText(std::string_view storedRecord) {
    const int length = recordedLength(storedRecord);
    if (length <= 0) return {};
    return std::string(std::min<size_t>(static_cast<size_t>(length), kMaxPasswordLength), kPlaceholderByte);
}

bool ParentalControl::isPlaceholder(std::string_view text) {
    return !text.empty() && text.find_first_not_of(kPlaceholderByte) == std::string_view::npos;
}

LockStoreOutcome ParentalControl::storeLock(bool lockChecked, std::string_view first, std::string_view second,
                                            const std::string& settingsFile) {
    if (!lockChecked) {
        settings::setParentalControlEnabled(0, settingsFile);
        settings::setParentalControlHash2("", settingsFile);
        return LockStoreOutcome::Disabled;
    }
    first = cut(first);
    second = cut(second);
    if (first.empty()) return LockStoreOutcome::RefusedEmpty;
    if (first != second) return LockStoreOutcome::RefusedMismatch;
    if (isPlaceholder(first)) {
        // The stored password stays; the box still says the lock is on, also when the file
        // held a record with the lock off.
        if (settings::parentalControlEnabled(settingsFile) != 1) settings::setParentalControlEnabled(1, settingsFile);
        return LockStoreOutcome::Unchanged;
    }
    settings::setParentalControlHash2(passwordRecord(first), settingsFile);
    settings::setParentalControlEnabled(1, settingsFile);
    return LockStoreOutcome::Written;
}

} // namespace corvanthelix
