#pragma once
// The backup operations from the command line, for scripted backups:
//   corvanthelix --export-backup FILE [--backup-parts ini,spamwords,memory,recycle,training]
//   corvanthelix --import-backup FILE [--backup-parts ...]
#include "stores/Backup.h"

#include <string>

namespace corvanthelix {

class BackupCommand {
public:
    enum class Direction { Export, Import };

    /// The parts used when no --backup-parts is given: the backup dialog's defaults (settings
    /// and spam words).
    static BackupParts defaultParts();

    /// Runs the export or import of `parts` between `file` and the program folder
    /// `programFolder`, asking nothing. The caller holds the program folder's single-instance
    /// claim, so the program cannot run on the folder meanwhile. Prints what an import replaced
    /// on standard output and the reason of a failure on standard error. Returns the exit code:
    /// 0 success, 1 failure.
    static int run(Direction direction, const std::string& file, const BackupParts& parts,
                   const std::string& programFolder);
};

} // namespace corvanthelix
