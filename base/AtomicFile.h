#pragma once
// Whole-file reads and crash-safe whole-file writes for every store the program rewrites.
#include <string>
#include <string_view>
#include <sys/types.h>

namespace corvanthelix {

/// Replaces the file at `path` with `data`: writes a temporary file in the same folder (mode
/// `mode`, 0600 unless told otherwise), flushes it to disk when `sync` is set, and renames it over
/// `path`. A reader or a crash sees the old file or the whole new one, never a part. Returns false
/// (and leaves the old file untouched, the temporary removed) on any failure.
bool replaceFileAtomically(const std::string& path, std::string_view data, bool sync = true,
                           mode_t mode = 0600);

/// Writes every byte of `data` to `fd`, retrying short writes and EINTR. Returns false on error.
bool writeAll(int fd, std::string_view data);

/// Reads the whole file into `out`. Returns false (out cleared) when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& out);

/// Creates the folder (and its parents) with mode 0700 where missing. Returns true when it exists
/// afterwards.
bool ensureFolder(const std::string& path);

} // namespace corvanthelix
