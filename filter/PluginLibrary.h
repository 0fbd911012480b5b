#pragma once
// Owner of one loaded plug-in library (a dlopen handle): opens, looks up symbols, tells whether an
// address lies inside the library, and releases the library when it goes away.
#include <string>

namespace corvanthelix {

class PluginLibrary {
public:
    PluginLibrary() = default;
    /// Releases the library when one is open.
    ~PluginLibrary();
    PluginLibrary(PluginLibrary&& other) noexcept;
    PluginLibrary& operator=(PluginLibrary&& other) noexcept;
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    /// Loads the library at `path`, resolving all its symbols now and keeping them out of the
    /// global namespace. Any library open before is released first. False when it cannot be
    /// loaded; error() then says why.
    bool Open(const std::string& path);
    /// Releases the library; nothing when none is open.
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    /// The address of the exported symbol `name`, or null (also when no library is open).
    void* symbol(const char* name) const;
    /// True when `address` lies inside the image of this library, or is its handle.
    bool contains(const void* address) const;
    /// Why the last Open failed.
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

} // namespace corvanthelix
