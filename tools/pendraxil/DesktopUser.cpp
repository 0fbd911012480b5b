#include "DesktopUser.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace corvanthelix {

namespace {

bool readId(const char* variable, unsigned long& value) {
    const char* text = std::getenv(variable);
    if (!text || !*text) return false;
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end && *end == '\0';
}

} // namespace

DesktopUser DesktopUser::invoking() {
    DesktopUser user;
    user.uid_ = ::getuid();
    user.gid_ = ::getgid();
    unsigned long sudoUid = 0, sudoGid = 0;
    if (::geteuid() == 0 && readId("SUDO_UID", sudoUid) && readId("SUDO_GID", sudoGid) && sudoUid != 0) {
        user.uid_ = static_cast<uid_t>(sudoUid);
        user.gid_ = static_cast<gid_t>(sudoGid);
        user.needsSwitch_ = true;
        if (const passwd* entry = ::getpwuid(user.uid_)) {
            user.home_ = entry->pw_dir;
            user.name_ = entry->pw_name;
        }
        return user;
    }
    if (const char* home = std::getenv("HOME"); home && *home) user.home_ = home;
    else if (const passwd* entry = ::getpwuid(user.uid_)) user.home_ = entry->pw_dir;
    return user;
}

} // namespace corvanthelix
