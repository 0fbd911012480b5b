#pragma once
// The parental lock's password record and the rules of the tray page that sets it. The password
// itself is never stored: section PARENTALCONTROL holds `Enabled` and `Hash2`, the password's
// length as three digits followed by its MD5 digest in the Q-encoding of the stores. The digest is
// cut at its first zero byte, as the encoder stops there; checking builds the same cut record, so
// such a password still matches.
#include <string>
#include <string_view>

namespace corvanthelix {

/// What saving the lock part of the tray page did.
enum class LockStoreOutcome {
    Written,         ///< a new password record and Enabled = 1
    Unchanged,       ///< the fields still hold the placeholders: Hash2 kept (Enabled made 1 if it was not)
    Disabled,        ///< the box is unchecked: Enabled = 0, Hash2 empty
    RefusedEmpty,    ///< no password typed (string 227); nothing written
    RefusedMismatch, ///< the two fields differ (string 226); nothing written
};

class ParentalControl {
public:
    /// Longest password taken from a field, in bytes.
    static constexpr size_t kMaxPasswordLength = 255;
    /// The byte the page fills its fields with to show the stored password's length.
    static constexpr char kPlaceholderByte = '\xff';
    /// Limit of the record's encoded digest (16 bytes never reach it).
    static constexpr size_t kDigestTextLimit = 253;
    // String-table texts of the lock.
    static constexpr int kStringMismatch = 226;
    static constexpr int kStringEmpty = 227;
    static constexpr int kStringWrongPassword = 228;

    /// The record of `password` (cut to kMaxPasswordLength): its length made with "%03i", then the
    /// Q-encoding of its MD5 digest up to the digest's first zero byte. Never empty.
    static std::string passwordRecord(std::string_view password);

    /// True when `typed` gives exactly the record `storedRecord` (case-sensitive). An empty
    /// stored record matches nothing.
    static bool matches(std::string_view typed, std::string_view storedRecord);

    /// The length the record `storedRecord` gives in its first three characters (their leading
    /// decimal number; 0 when there is none).
    static int recordedLength(std::string_view storedRecord);

    /// What the tray page shows in both fields for `storedRecord`: recordedLength() placeholder
    /// bytes, or "" when the length is not positive (at most kMaxPasswordLength).
    static std::string placeholderText(std::string_view storedRecord);

    /// True when `text` is not empty and made only of placeholder bytes.
    static bool isPlaceholder(std::string_view text);

    /// The tray page's save of the lock into the settings file `settingsFile`: `lockChecked` is
    /// the box, `first` and `second` the two fields (cut to kMaxPasswordLength). Writes Hash2 and
    /// then Enabled = 1 for a new password, Enabled = 0 and an empty Hash2 for an unchecked box,
    /// nothing otherwise. The caller shows the string of a refusal.
    static LockStoreOutcome storeLock(bool lockChecked, std::string_view first, std::string_view second,
                                      const std::string& settingsFile);
};

} // namespace corvanthelix
