#pragma once
// The update check: fetches the update description from the update host, decides what to offer
// (a new program version, a patch, a language pack, or nothing), and on the person's yes downloads
// the offered file into the program folder's updates/ and opens it when its SHA-256 matches the
// description. One check runs at a time, on a worker thread of its own.
#include "update/HttpsDownload.h"
#include "update/UpdateView.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace corvanthelix {

enum class UpdateKind { program, languagePack };

struct UpdateCheckOptions {
    std::string hostSetting;        ///< "UpdateHost": "host[:port]" or "https://host[:port]"
    std::string programFolder;      ///< downloads go to programFolder/updates/
    std::string installedVersion;   ///< "major.minor.build.patch"
    int languagePackVersion = 1000; ///< "LanguagePackVersion"
    DownloadOptions transfer;       ///< CA file, time-outs, the cap of offered files
    std::uint64_t maxDescriptionBytes = 64 * 1024;
};

class UpdateCheck {
public:
    // String-table texts of the check.
    static constexpr int kStringProgress = 127;
    static constexpr int kStringDownloading = 128;
    static constexpr int kStringConnecting = 129;
    static constexpr int kStringNewVersion = 130;
    static constexpr int kStringNothingNewer = 131;
    static constexpr int kStringVersionDownloaded = 132;
    static constexpr int kStringNewPatch = 198;
    static constexpr int kStringNoLanguagePack = 253;
    static constexpr int kStringNewLanguagePack = 254;
    static constexpr int kStringLanguagePackDownloaded = 255;
    static constexpr int kStringNoChecksum = 280;
    static constexpr int kStringChecksumMismatch = 281;
    static constexpr int kStringUnsafeFileName = 282;

    static UpdateCheck& instance();
    static void destroyInstance();

    /// Starts a check of `kind` on a worker thread that reports to `view`; false (and nothing
    /// started) while another check runs. The view is shared with the worker until finished().
    bool start(UpdateKind kind, UpdateCheckOptions options, std::shared_ptr<UpdateView> view);
    /// True from start() until release().
    bool running() const { return running_; }
    /// Forgets the finished check, waiting for its thread to end (it ends right after finished()).
    void release();

    /// Runs one check on the calling thread and returns its outcome; finished() is called with it.
    static UpdateOutcome run(UpdateKind kind, const UpdateCheckOptions& options, UpdateView& view);

    ~UpdateCheck();

private:
    UpdateCheck() = default;
    std::mutex mutex_;
    std::thread worker_;
    std::atomic<bool> running_{false};
};

} // namespace corvanthelix
