#pragma once
// Reading sender addresses from a comma-separated text file, as address books export them: the
// field splitting, the cleaning of each field and the columns the column dialog proposes.
#include "filter/SenderImport.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class CsvSenderFile {
public:
    /// Lines longer than this are cut.
    static constexpr size_t kMaxLineLength = 102400;

    /// The cleaned fields of one line. A field ends at the first comma outside quotes; when the
    /// rest of the line has no comma outside quotes, at the first semicolon outside quotes. Every
    /// double quote switches between inside and outside, so a doubled quote inside a quoted field
    /// leaves the field quoted. An empty line gives one empty field.
    static std::vector<std::string> splitFields(std::string_view line);
    /// A field as stored: spaces and tabs, then line feeds, then carriage returns removed at both
    /// ends; a field then enclosed in double quotes loses them, and its doubled quotes become one.
    static std::string cleanField(std::string_view field);

    /// The column proposed for the mail address: the last field holding "@"; 0 when none does.
    static int proposedMailColumn(const std::vector<std::string>& fields);
    /// The column proposed for the name: the first.
    static int proposedNameColumn(const std::vector<std::string>&) { return 0; }

    /// The sender a record offers with the chosen columns: nothing when a column is missing or
    /// empty, or when the address field holds no "@" (a heading line such as "Name,E-mail", or a
    /// record without an address, is no sender).
    static std::optional<ImportedSender> senderOf(const std::vector<std::string>& fields, int mailColumn, int nameColumn);

    /// The file's lines (LF or CRLF ends, each cut to kMaxLineLength). False when the file cannot
    /// be read.
    static bool readLines(const std::string& path, std::vector<std::string>& lines);
};

} // namespace corvanthelix
