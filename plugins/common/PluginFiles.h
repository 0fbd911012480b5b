#pragma once
// File helpers the plug-ins share. A plug-in is built against the plug-in header alone, so it
// carries its own small copies of what the host has for this: finding the folder it was loaded
// from, reading its lists and replacing them crash-safely.
#include <cstddef>
#include <string>
#include <vector>

namespace corvanthelix::plugin {

/// The folder (without a trailing "/") of the shared library that holds `address`, which must be
/// an address inside the calling plug-in (a function or a static object of it). "" when it cannot
/// be found.
std::string ModuleFolder(const void* address);

/// Reads the text file at `path` into `lines`, one entry per line without its line end (LF, or
/// CR LF), skipping empty lines. A line longer than `maxLength` characters is cut to that length;
/// the rest of it is dropped, so that it never becomes an entry of its own. False (and `lines`
/// empty) when the file cannot be read.
bool ReadTextLines(const std::string& path, size_t maxLength, std::vector<std::string>& lines);

/// Reads the whole file at `path` into `out`. False (and `out` empty) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& out);

/// Replaces the file at `path` with `data`: written to a temporary file in the same folder,
/// flushed to disk, then renamed over the old file, so that a crash leaves the old file or the
/// new one and never a part of either. The file is readable and writable by the user only (0600).
/// False when any step fails (the old file is then unchanged).
bool ReplaceFile(const std::string& path, const std::string& data);

/// Makes sure the folder `path` exists, creating it (private to the user, 0700) when it does not;
/// its parent must exist. False when it is missing and cannot be made.
bool EnsureFolder(const std::string& path);

} // namespace corvanthelix::plugin
