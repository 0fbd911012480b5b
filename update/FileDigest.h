#pragma once
// The SHA-256 of a file, to check a download against the digest its description names.
#include <optional>
#include <string>

namespace corvanthelix {

/// The SHA-256 of the file at `path` as 64 lower-case hexadecimal digits; nullopt when the file
/// cannot be read.
std::optional<std::string> fileSha256(const std::string& path);

} // namespace corvanthelix
