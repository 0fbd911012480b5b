#pragma once
#include <string>
#include <sys/types.h>

namespace corvanthelix {

/// The person whose mail clients are to trust the certificate. Run through sudo, that is the
/// user who called sudo, not root: their home holds the browser and mail profiles, and programs
/// that write into those profiles run with the user's own ids so that no file there becomes
/// root's.
class DesktopUser {
public:
    /// The user who called sudo when the tool runs as root with SUDO_UID and SUDO_GID set; else
    /// the user the tool runs as, with $HOME as home (the password database when HOME is unset).
    static DesktopUser invoking();

    const std::string& home() const { return home_; }
    /// True when child programs must switch to uid()/gid() before they start.
    bool needsSwitch() const { return needsSwitch_; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }
    /// The user's login name, for the supplementary groups of a switch; may be empty.
    const std::string& name() const { return name_; }

private:
    std::string home_;
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool needsSwitch_ = false;
};

} // namespace corvanthelix
