#include "update/UpdateCheck.h"

#include "base/TranslatedFormat.h"

#include "base/AtomicFile.h"
#include "base/HelpPages.h"
#include "base/StringTable.h"
#include "update/FileDigest.h"
#include "update/UpdateDescription.h"
#include "update/UpdateRules.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace corvanthelix {

namespace {

constexpr const char* kVersionDescriptionPath = "/inc/updateini.php?version=";
constexpr const char* kGeneralDescriptionPath = "/updates/updates.ini";
constexpr const char* kOfferedFolder = "updates/";
constexpr const char* kDescriptionFile = "updates.ini";

// A string-table text used as a format, through the checked helper: a translation whose
// conversions differ from the English text's is not used.
template <class... Args>
std::string formatText(int id, Args... args) {
    return TranslatedFormat::byId(id, args...);
}

// One check from the first connection to its outcome.
class CheckRun {
public:
    CheckRun(const UpdateCheckOptions& options, UpdateView& view, std::string origin)
        : options_(options), view_(view), origin_(std::move(origin)),
          host_(origin_.substr(std::char_traits<char>::length("https://"))),
          folder_(options.programFolder + "/updates") {}

    UpdateOutcome program() {
        view_.setLines(formatText(UpdateCheck::kStringConnecting, host_.c_str()), "");
        const update::ProgramVersion installed = update::installedVersion(options_.installedVersion);
        const std::string patch = update::installedPatchLevel(options_.installedVersion);
        UpdateOutcome fetched = fetchDescription(kVersionDescriptionPath + update::versionQuery(installed, patch));
        if (fetched == UpdateOutcome::failed) fetched = fetchDescription(kGeneralDescriptionPath);
        if (fetched != UpdateOutcome::done) return fetched;
        resetWindow();

        const UpdateDescription description = UpdateDescription::read(descriptionPath());
        switch (update::programOffer(description, installed, patch)) {
        case update::Offer::invalid: return UpdateOutcome::failed;
        case update::Offer::newVersion:
            if (!view_.askYesNo(loadString(UpdateCheck::kStringNewVersion))) return UpdateOutcome::done;
            return offered(description.program(), UpdateCheck::kStringVersionDownloaded);
        case update::Offer::patch:
            if (!view_.askYesNo(loadString(UpdateCheck::kStringNewPatch))) return UpdateOutcome::done;
            // A verified patch is opened at once.
            return offered(description.patch(), 0);
        default:
            if (view_.windowVisible()) view_.inform(loadString(UpdateCheck::kStringNothingNewer));
            return UpdateOutcome::done;
        }
    }

    UpdateOutcome languagePack() {
        view_.setLines(formatText(UpdateCheck::kStringConnecting, host_.c_str()), "");
        const UpdateOutcome fetched = fetchDescription(kGeneralDescriptionPath);
        if (fetched != UpdateOutcome::done) return fetched;
        resetWindow();
        const UpdateDescription description = UpdateDescription::read(descriptionPath());
        if (update::languagePackOffer(description, options_.languagePackVersion) == update::Offer::nothing) {
            if (view_.windowVisible()) view_.inform(loadString(UpdateCheck::kStringNoLanguagePack));
            return UpdateOutcome::done;
        }
        if (!view_.askYesNo(loadString(UpdateCheck::kStringNewLanguagePack))) return UpdateOutcome::done;
        return offered(description.languagePack(), UpdateCheck::kStringLanguagePackDownloaded);
    }

private:
    std::string descriptionPath() const { return folder_ + "/" + kDescriptionFile; }

    void resetWindow() {
        view_.setProgress(0);
        view_.setLines("", "");
    }

    UpdateOutcome fetchDescription(const std::string& path) {
        DownloadOptions transfer = options_.transfer;
        transfer.maxBytes = options_.maxDescriptionBytes;
        return fetch(path, descriptionPath(), transfer);
    }

    UpdateOutcome fetch(const std::string& serverPath, const std::string& target, const DownloadOptions& transfer) {
        if (!ensureFolder(folder_)) return UpdateOutcome::failed;
        const std::string path = serverPath.front() == '/' ? serverPath : "/" + serverPath;
        const auto started = std::chrono::steady_clock::now();
        HttpsDownload download(transfer);
        const DownloadResult result = download.fetch(origin_ + path, target, [&](std::uint64_t received, std::uint64_t total) {
            if (view_.cancelRequested()) return true;
            showProgress(path, received, total, started);
            return false;
        });
        if (result == DownloadResult::done) return UpdateOutcome::done;
        return result == DownloadResult::cancelled ? UpdateOutcome::cancelled : UpdateOutcome::failed;
    }

    void showProgress(const std::string& path, std::uint64_t received, std::uint64_t total,
                      std::chrono::steady_clock::time_point started) {
        // Without an announced length the total is what arrived so far.
        if (total == 0 || total < received) total = received;
        const double elapsedMs = std::max<double>(
            1.0, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        const double speed = received / elapsedMs * 1000.0 / 1024.0;
        view_.setLines(formatText(UpdateCheck::kStringDownloading, path.c_str(), host_.c_str()),
                       formatText(UpdateCheck::kStringProgress, received / 1024.0, total / 1024.0, speed));
        view_.setProgress(total ? static_cast<int>(received * 100 / total) : 0);
    }

    // Downloads an offered file; opens it (asking first with `openQuestion`, at once when 0) only
    // when its digest matches the description's.
    UpdateOutcome offered(const UpdateDescription::Entry& entry, int openQuestion) {
        if (!update::safeFileName(entry.fileName)) {
            if (entry.fileName.empty()) return UpdateOutcome::failed;
            view_.inform(loadString(UpdateCheck::kStringUnsafeFileName));
            return UpdateOutcome::refused;
        }
        view_.showWindow();
        const std::string target = folder_ + "/" + entry.fileName;
        const UpdateOutcome fetched = fetch(kOfferedFolder + entry.fileName, target, options_.transfer);
        if (fetched != UpdateOutcome::done) return fetched;
        resetWindow();

        if (entry.sha256.empty()) {
            // Nothing to check it against: the person finds it in its folder, it is never opened.
            view_.showFolder(folder_);
            view_.inform(formatText(UpdateCheck::kStringNoChecksum, target.c_str()));
            return UpdateOutcome::done;
        }
        const std::optional<std::string> digest = fileSha256(target);
        if (!update::wellFormedSha256(entry.sha256) || !digest || *digest != entry.sha256) {
            ::unlink(target.c_str());
            view_.inform(formatText(UpdateCheck::kStringChecksumMismatch, entry.fileName.c_str()));
            return UpdateOutcome::refused;
        }
        if (openQuestion == 0 || view_.askYesNo(formatText(openQuestion, target.c_str()))) view_.openFile(target);
        return UpdateOutcome::done;
    }

    const UpdateCheckOptions& options_;
    UpdateView& view_;
    std::string origin_;
    std::string host_;
    std::string folder_;
};

UpdateCheck* theInstance = nullptr;

} // namespace

UpdateCheck& UpdateCheck::instance() {
    if (!theInstance) theInstance = new UpdateCheck;
    return *theInstance;
}

void UpdateCheck::destroyInstance() {
    delete theInstance;
    theInstance = nullptr;
}

UpdateCheck::~UpdateCheck() { release(); }

UpdateOutcome UpdateCheck::run(UpdateKind kind, const UpdateCheckOptions& options, UpdateView& view) {
    UpdateOutcome outcome = UpdateOutcome::failed;
    // An http host (or anything else that is not https) is never asked.
    if (std::optional<std::string> origin = help::httpsOrigin(options.hostSetting)) {
        CheckRun check(options, view, *origin);
        outcome = kind == UpdateKind::program ? check.program() : check.languagePack();
    }
    view.finished(outcome);
    return outcome;
}

bool UpdateCheck::start(UpdateKind kind, UpdateCheckOptions options, std::shared_ptr<UpdateView> view) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ || !view) return false;
    if (worker_.joinable()) worker_.join();
    running_ = true;
    worker_ = std::thread([kind, options = std::move(options), view = std::move(view)] { run(kind, options, *view); });
    return true;
}

void UpdateCheck::release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (worker_.joinable()) worker_.join();
    running_ = false;
}

} // namespace corvanthelix
