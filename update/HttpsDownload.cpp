#include "update/HttpsDownload.h"

#include "base/AtomicFile.h"
#include "base/UniqueFd.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace corvanthelix {

namespace {

constexpr const char* kAgent = "Corvanthelix";
constexpr const char* kHttpsPrefix = "https://";
constexpr size_t kChunkBytes = 5120;

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

void ensureCurlGlobal() {
    // curl_global_init is not thread-safe before libcurl 7.84; a static makes the first call win.
    static CurlGlobal global;
}

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct Transfer {
    int fd = -1;
    std::uint64_t received = 0;
    std::uint64_t maxBytes = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    bool cancelled = false;
    const HttpsDownload::Progress* progress = nullptr;
    CURL* handle = nullptr;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    // The status is known before the first byte of the body: an error page is not stored.
    long status = 0;
    curl_easy_getinfo(transfer->handle, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return 0;
    if (transfer->received + bytes > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    if (!writeAll(transfer->fd, std::string_view(data, bytes))) {
        transfer->writeFailed = true;
        return 0;
    }
    transfer->received += bytes;
    if (transfer->progress && *transfer->progress) {
        curl_off_t total = -1;
        curl_easy_getinfo(transfer->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        if ((*transfer->progress)(transfer->received, total > 0 ? static_cast<std::uint64_t>(total) : 0)) {
            transfer->cancelled = true;
            return 0;
        }
    }
    return bytes;
}

// Between chunks (and while the server is silent) the person may cancel too.
int xferInfo(void* user, curl_off_t total, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::uint64_t announced = total > 0 ? static_cast<std::uint64_t>(total) : 0;
    if (transfer->progress && *transfer->progress && (*transfer->progress)(transfer->received, announced)) {
        transfer->cancelled = true;
        return 1;
    }
    return 0;
}

// A temporary file beside the target, so that the rename that publishes it stays in one folder.
UniqueFd makeTemporary(const std::string& targetPath, std::string& temporaryPath) {
    temporaryPath = targetPath + ".part-XXXXXX";
    return UniqueFd(::mkstemp(temporaryPath.data()));
}

} // namespace

DownloadResult HttpsDownload::fetch(const std::string& url, const std::string& targetPath, const Progress& progress) {
    fault_ = DownloadFault::none;
    status_ = 0;
    if (url.compare(0, std::char_traits<char>::length(kHttpsPrefix), kHttpsPrefix) != 0) {
        fault_ = DownloadFault::refusedAddress;
        return DownloadResult::failed;
    }
    ensureCurlGlobal();
    CurlEasy handle(curl_easy_init());
    if (!handle) {
        fault_ = DownloadFault::connection;
        return DownloadResult::failed;
    }
    std::string temporaryPath;
    UniqueFd file = makeTemporary(targetPath, temporaryPath);
    if (!file.valid()) {
        fault_ = DownloadFault::file;
        return DownloadResult::failed;
    }
    ::fchmod(file.get(), 0600);

    Transfer transfer;
    transfer.fd = file.get();
    transfer.maxBytes = options_.maxBytes;
    transfer.progress = &progress;
    transfer.handle = handle.get();

    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    // Only https, also for anything the server might point at; no redirects are followed.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!options_.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, options_.caFile.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    const char* noCache = "Cache-Control: no-cache";
    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    headers = curl_slist_append(headers, noCache);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options_.connectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, options_.stallSeconds);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(kChunkBytes));
    // An announced length above the cap ends the transfer before any byte is read.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.maxBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, xferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(h);
    curl_slist_free_all(headers);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status_);

    if (status_ != 0 && status_ != 200) fault_ = DownloadFault::httpStatus;
    else if (transfer.cancelled) fault_ = DownloadFault::cancelled;
    else if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) fault_ = DownloadFault::tooLarge;
    else if (transfer.writeFailed) fault_ = DownloadFault::file;
    else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE) fault_ = DownloadFault::certificate;
    else if (code == CURLE_OPERATION_TIMEDOUT) fault_ = DownloadFault::timedOut;
    else if (code == CURLE_UNSUPPORTED_PROTOCOL) fault_ = DownloadFault::refusedAddress;
    else if (code != CURLE_OK) fault_ = DownloadFault::connection;

    bool published = false;
    if (fault_ == DownloadFault::none) {
        published = ::fsync(file.get()) == 0 && file.reset() && ::rename(temporaryPath.c_str(), targetPath.c_str()) == 0;
        if (!published) fault_ = DownloadFault::file;
    }
    if (!published) {
        file.reset();
        ::unlink(temporaryPath.c_str());
    }
    if (fault_ == DownloadFault::none) return DownloadResult::done;
    return fault_ == DownloadFault::cancelled ? DownloadResult::cancelled : DownloadResult::failed;
}

} // namespace corvanthelix
