#include "CertificateFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>

namespace corvanthelix {

namespace {

// Closes the descriptor it was given.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string openSslReason() {
    unsigned long code = ERR_peek_last_error();
    char text[256] = "no reason given";
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

} // namespace

CertificateFile::Outcome CertificateFile::load(const std::string& path, bool pkcs12, std::string& detail) {
    certificates_.clear();
    std::string data;
    Outcome failure = Outcome::NotLoaded;
    if (!readFile(path, data, failure, detail)) return failure;
    return pkcs12 ? parsePkcs12(data, detail) : parseDer(data, detail);
}

bool CertificateFile::readFile(const std::string& path, std::string& data, Outcome& failure, std::string& detail) {
    // Not blocking, so that a named pipe given as the file does not hang the tool at open().
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        failure = Outcome::NotFound;
        detail = std::strerror(errno);
        return false;
    }
    failure = Outcome::NotLoaded;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        detail = "not a regular file";
        return false;
    }
    if (st.st_size > kLargestFile) {
        detail = "larger than any certificate file (" + std::to_string(st.st_size) + " bytes)";
        return false;
    }
    data.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::read(file.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            detail = n < 0 ? std::strerror(errno) : "the file shrank while it was read";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

CertificateFile::Outcome CertificateFile::parsePkcs12(const std::string& data, std::string& detail) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
    Pkcs12Owner pkcs12(d2i_PKCS12(nullptr, &p, static_cast<long>(data.size())));
    if (!pkcs12) {
        detail = openSslReason();
        return Outcome::NotPkcs12;
    }
    // Older files protect their certificates with ciphers that OpenSSL 3 keeps in its legacy
    // provider; the default provider stays available beside it.
    ProviderOwner legacy(OSSL_PROVIDER_try_load(nullptr, "legacy", 1));
    EVP_PKEY* key = nullptr;
    X509* own = nullptr;
    STACK_OF(X509)* others = nullptr;
    // An empty password: the parser tries both an empty and an absent one, as files differ.
    if (PKCS12_parse(pkcs12.get(), "", &key, &own, &others) != 1) {
        detail = openSslReason();
        return Outcome::NotImported;
    }
    // Only certificates are installed; a private key in the file is not needed to trust them.
    KeyOwner keyOwner(key);
    if (own) certificates_.emplace_back(own);
    while (others && sk_X509_num(others) > 0) certificates_.emplace_back(sk_X509_shift(others));
    sk_X509_free(others);
    if (certificates_.empty()) {
        detail = "the file holds no certificate";
        return Outcome::NoCertificate;
    }
    return Outcome::Loaded;
}

CertificateFile::Outcome CertificateFile::parseDer(const std::string& data, std::string& detail) {
    const unsigned char* begin = reinterpret_cast<const unsigned char*>(data.data());
    const unsigned char* p = begin;
    CertificateOwner certificate(d2i_X509(nullptr, &p, static_cast<long>(data.size())));
    if (!certificate) {
        detail = openSslReason();
        return Outcome::NoCertificate;
    }
    if (p != begin + data.size()) {
        detail = "bytes follow the certificate";
        return Outcome::NoCertificate;
    }
    certificates_.push_back(std::move(certificate));
    return Outcome::Loaded;
}

} // namespace corvanthelix
