#pragma once
// One import into a sender list from a file, with the dialogs it needs: the column dialog for a
// comma-separated file, the confirmation per address and the final report (string 146).
#include "ui/options/ImportSourceDialog.h"

#include <string>

class QWidget;

namespace corvanthelix {

class SenderLists;

class SenderImporter {
public:
    /// Asks for the source and the file and imports it into list `list` of `lists`. Returns the
    /// number imported, or -1 when the user cancelled before a file was chosen (no report then).
    static int run(QWidget* owner, const SenderLists& lists, int list);
    /// Imports the file at `path` as `source` into list `list` and reports the count (also 0,
    /// also for a file that cannot be read or a run cancelled midway). Returns the count.
    static int importFile(QWidget* owner, const SenderLists& lists, int list, ImportSource source,
                          const std::string& path);
};

} // namespace corvanthelix
