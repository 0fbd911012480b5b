#include "filter/PluginLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <utility>

namespace corvanthelix {

PluginLibrary::~PluginLibrary() { close(); }

PluginLibrary::PluginLibrary(PluginLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

PluginLibrary& PluginLibrary::operator=(PluginLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool PluginLibrary::Open(const std::string& path) {
    close();
    error_.clear();
    // RTLD_LOCAL keeps two plug-ins that export the same names from resolving into each other.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? why : "cannot load library";
        return false;
    }
    return true;
}

void PluginLibrary::close() {
    if (handle_) dlclose(std::exchange(handle_, nullptr));
}

void* PluginLibrary::symbol(const char* name) const {
    return handle_ && name ? dlsym(handle_, name) : nullptr;
}

bool PluginLibrary::contains(const void* address) const {
    if (!handle_ || !address) return false;
    if (address == handle_) return true;
    // The object that holds the address, compared by its link map, which is unique per loaded
    // library (two plug-ins may well share a base name or be loaded at similar addresses).
    Dl_info info{};
    struct link_map* holder = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&holder), RTLD_DL_LINKMAP) == 0 || !holder)
        return false;
    struct link_map* own = nullptr;
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &own) != 0) return false;
    return holder == own;
}

} // namespace corvanthelix
