#include "AnchorFolder.h"

#include "ChildProcess.h"
#include "Report.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>

namespace corvanthelix {

namespace {

constexpr const char* kSystemFolder = "/usr/local/share/ca-certificates";
// Every program and every user reads the trust store.
constexpr mode_t kAnchorMode = 0644;
constexpr mode_t kFolderMode = 0755;

// Closes the descriptor it was given.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }
    /// Closes now; false when close() reported an error.
    bool close() {
        bool ok = fd_ < 0 || ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

bool makeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return false;
    return ::mkdir(path.c_str(), kFolderMode) == 0 || errno == EEXIST;
}

// Writes a temporary file beside `path`, flushes it and renames it over `path`; the temporary's
// name does not end in ".crt", so the store never picks up a half-written one.
bool replaceAtomically(const std::string& path, const std::string& data, std::string& detail) {
    size_t slash = path.rfind('/');
    std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
    FileHandle file(::mkostemp(temp.data(), O_CLOEXEC));
    if (file.get() < 0) {
        detail = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        ssize_t n = ::write(file.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && ::fchmod(file.get(), kAnchorMode) == 0 && ::fsync(file.get()) == 0;
    ok = file.close() && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        detail = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::string pemText(X509* certificate) {
    BioOwner bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
    char* data = nullptr;
    long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

} // namespace

AnchorFolder AnchorFolder::fromEnvironment() {
    const char* given = std::getenv("CORVANTHELIX_ANCHOR_DIR");
    if (given && *given) return AnchorFolder(given, false);
    return AnchorFolder(kSystemFolder, true);
}

std::string AnchorFolder::fileName(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &size) != 1) return {};
    std::string name = "corvanthelix-";
    char hex[3];
    for (unsigned int i = 0; i < 8 && i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        name += hex;
    }
    return name + ".crt";
}

bool AnchorFolder::install(const Certificates& certificates, const Report& report) const {
    if (!makeFolders(folder_)) {
        report.note("cannot make the anchor folder " + folder_ + ": " + std::strerror(errno));
        return false;
    }
    for (const CertificateOwner& certificate : certificates)
        if (!writeCertificate(certificate.get(), report)) return false;
    return refreshStore(report);
}

bool AnchorFolder::writeCertificate(X509* certificate, const Report& report) const {
    const std::string name = fileName(certificate);
    const std::string pem = pemText(certificate);
    if (name.empty() || pem.empty()) {
        report.note("cannot encode a certificate as PEM");
        return false;
    }
    const std::string path = folder_ + "/" + name;
    std::string detail;
    if (!replaceAtomically(path, pem, detail)) {
        report.note("cannot write " + path + ": " + detail);
        return false;
    }
    report.note("installed " + path);
    return true;
}

bool AnchorFolder::refreshStore(const Report& report) const {
    if (!systemFolder_) {
        report.note("anchor folder given by CORVANTHELIX_ANCHOR_DIR: the system store is not rebuilt");
        return true;
    }
    const std::string tool = ChildProcess::find("update-ca-certificates", {"/usr/sbin", "/sbin"});
    if (tool.empty()) {
        report.note("update-ca-certificates is not installed: the system store is not rebuilt");
        return true;
    }
    ChildProcess::Options options;
    options.showOutput = report.verbose();
    ChildProcess::Result result = ChildProcess::run({tool}, options);
    if (!result.started || result.exitCode != 0) {
        report.note(tool + " failed (exit code " + std::to_string(result.exitCode) + ")");
        return false;
    }
    report.note("rebuilt the system store with " + tool);
    return true;
}

} // namespace corvanthelix
