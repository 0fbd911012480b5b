#pragma once
// Access to files in the sectioned "key=value" settings format (corvanthelix.ini, spampoints.ini,
// update descriptions) with the classic profile semantics:
// - "[name]" opens a section; "key=value" lines belong to the last section opened; lines starting
//   with ";" are comments. Section and key names compare without regard to ASCII letter case;
//   blanks around names and values are ignored. The first of two equal sections or keys counts.
// - Every read sees the file as it is now: an edit from outside the program is seen at the next
//   read. Reads are nevertheless cheap: the parsed file is kept per path and revalidated with one
//   stat() per read.
// - Every write rewrites the file atomically (temporary file in the same folder, rename) under a
//   process-wide lock, so concurrent writers from several threads never lose each other's keys.
//   Lines the write does not touch keep their text, order and line ends (comments survive).
//   Created files are 0600.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class IniFile {
public:
    IniFile() = delete;

    /// The value's leading decimal number (an optional minus sign allowed); a value that does not
    /// start with a number reads 0 ("yes" reads 0, "-12abc" reads -12). A missing file, section or
    /// key, or an empty value, gives `defaultValue`. Numbers beyond the int range are clamped.
    static int readInt(std::string_view section, std::string_view key, int defaultValue,
                       const std::string& path);

    /// The value of the key, or `defaultValue` when the file, section or key is missing.
    static std::string readString(std::string_view section, std::string_view key,
                                  std::string_view defaultValue, const std::string& path);
    /// As above, cut to at most size - 1 characters (the room of a buffer of `size` bytes);
    /// size 0 gives "".
    static std::string readString(std::string_view section, std::string_view key,
                                  std::string_view defaultValue, const std::string& path, size_t size);
    /// Copies the value (or `defaultValue`) into `buffer`: at most size - 1 characters and a NUL.
    /// Returns the number of characters copied, without the NUL. Nothing is written when size is 0.
    static size_t readString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, char* buffer, size_t size,
                             const std::string& path);

    /// True when the section holds the key (with any value, also an empty one).
    static bool hasKey(std::string_view section, std::string_view key, const std::string& path);
    /// True when the file holds the section (also an empty one).
    static bool hasSection(std::string_view section, const std::string& path);

    /// Writes "key=value", creating the file, the section and the key as needed; an existing key
    /// keeps its spelling and place. `value` == nullptr deletes the key (every copy of it in the
    /// section); the section itself stays. Returns false when nothing could be written: the folder
    /// is not writable, the existing file cannot be read (it is then left alone), or a name or value
    /// would break the file's structure (a line break anywhere, an empty name, a key containing "="
    /// or starting with ";" or "[", a section name containing "[", "]" or "=").
    static bool writeString(std::string_view section, std::string_view key, const char* value,
                            const std::string& path);
    static bool writeString(std::string_view section, std::string_view key, const std::string& value,
                            const std::string& path);

    /// Writes the integer as decimal text made with "%i".
    static bool writeSettingInt(std::string_view section, std::string_view key, int value,
                                const std::string& path);

    /// Removes the section's header and every line of it. True also when there was no such section.
    static bool deleteSection(std::string_view section, const std::string& path);

    /// Reads the whole section into `buffer` as NUL-terminated lines followed by a second NUL.
    /// Kept lines: cut at a NUL byte, trimmed of spaces, then of TABs, at both ends; not empty,
    /// not starting with ";", containing "=". The section starts at a line "[name]" (name without regard to case, only
    /// spaces may follow "]"); a later line starting with "[" and ending with "]" without "=" ends
    /// it. Stops when the buffer is full (the last line may be cut) and always ends with two NULs.
    /// Returns the bytes used including both final NULs (2 for an empty section), or 0 when the
    /// file cannot be read or has no such section (the buffer then holds an empty list when it has
    /// room). A buffer of the file's size always holds the whole section.
    static size_t readSection(std::string_view section, char* buffer, size_t bufferSize,
                              const std::string& path);

    /// The lines readSection would give, without a size limit, in file order. Empty when the file
    /// or the section is missing.
    static std::vector<std::string> readSectionLines(std::string_view section, const std::string& path);

    /// Forgets every parsed file kept in memory (the next read parses the file again).
    static void clearCache();

    /// While one lives on a thread, that thread's reads of a file give the file as the first of
    /// them found it, without looking at the disk again (a mail check reads dozens of settings per
    /// message). The thread's own writes are seen by its later reads; changes by other threads or
    /// programs are seen after the outermost snapshot of the thread ends. Snapshots nest.
    class Snapshot {
    public:
        Snapshot();
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;
    };
};

} // namespace corvanthelix
