#pragma once
#include <string>

namespace corvanthelix::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it when the
/// object goes away.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    /// path() + "/" + relative.
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }
    /// Writes `content` to `relative` (creating parent folders); returns the full path.
    std::string write(const std::string& relative, const std::string& content) const;
    /// Reads a whole file; "" when it cannot be read.
    static std::string read(const std::string& fullPath);

private:
    std::string path_;
};

} // namespace corvanthelix::testing
