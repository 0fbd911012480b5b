#pragma once
// Mending stores found damaged at start-up or before a mail check, and telling the person once.

namespace corvanthelix {

class StoreRepair {
public:
    /// Mends the recycle bin's index when it cannot be read (RecycleBin::repairDamagedIndex) and
    /// then shows one message naming the file the damaged index was kept as.
    /// Returns whether anything was mended.
    static bool repairDamagedStores();
};

} // namespace corvanthelix
