#include "app/BackupCommand.h"

#include "stores/RecycleBin.h"

#include <cstdio>

namespace corvanthelix {

BackupParts BackupCommand::defaultParts() { return BackupParts{}; }

int BackupCommand::run(Direction direction, const std::string& file, const BackupParts& parts,
                       const std::string& programFolder) {
    Backup::Options options;
    options.programFolder = programFolder;
    // A bin left by a crash may hold changes only in its journal: fold them into the index that
    // goes into the backup.
    options.beforeRecycleRead = [&programFolder] {
        RecycleBin bin(programFolder);
        bin.entries();
        bin.checkpoint();
    };
    const BackupResult result = direction == Direction::Export ? Backup::exportTo(file, parts, options)
                                                               : Backup::importFrom(file, parts, options);
    if (!result.ok()) {
        std::fprintf(stderr, "corvanthelix: backup failed: %s\n", result.reason.c_str());
        return 1;
    }
    if (direction == Direction::Export) {
        std::printf("exported to %s\n", file.c_str());
    } else {
        if (result.replaced.empty()) std::printf("nothing to import\n");
        for (const std::string& replaced : result.replaced) std::printf("replaced %s\n", replaced.c_str());
    }
    return 0;
}

} // namespace corvanthelix
