#include "net/LocalCertificate.h"

#include "base/AtomicFile.h"

#include <cerrno>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace corvanthelix {

namespace {

template <typename T, void (*release)(T*)>
struct OpenSslFree {
    void operator()(T* handle) const noexcept { release(handle); }
};
using KeyOwner = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY, EVP_PKEY_free>>;
using CertificateOwner = std::unique_ptr<X509, OpenSslFree<X509, X509_free>>;
using BioOwner = std::unique_ptr<BIO, OpenSslFree<BIO, BIO_free_all>>;
using ExtensionOwner = std::unique_ptr<X509_EXTENSION, OpenSslFree<X509_EXTENSION, X509_EXTENSION_free>>;
using NumberOwner = std::unique_ptr<BIGNUM, OpenSslFree<BIGNUM, BN_free>>;

constexpr long kValidDays = 3650;
// The public files may be read by other tools the user runs (pendraxil under sudo, say); only the
// key is private.
constexpr mode_t kPublicMode = 0644;
constexpr mode_t kKeyMode = 0600;

enum class Presence { Present, Missing, Unknown };

// Unknown when the folder cannot be looked into (not a folder, no permission): nothing is made
// there then.
Presence presenceOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return Presence::Present;
    return errno == ENOENT ? Presence::Missing : Presence::Unknown;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

// A pass-phrase callback that never asks: an encrypted key is a failure, not a prompt on the
// terminal of a program that runs in the background.
int noPassphrase(char*, int, int, void*) { return 0; }

BioOwner memoryReader(const std::string& data) {
    return BioOwner(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
}

std::string memoryContents(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

KeyOwner readKey(const std::string& path) {
    std::string pem;
    if (!readWholeFile(path, pem)) return nullptr;
    BioOwner bio = memoryReader(pem);
    return KeyOwner(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr) : nullptr);
}

CertificateOwner readCertificate(const std::string& path) {
    std::string pem;
    if (!readWholeFile(path, pem)) return nullptr;
    BioOwner bio = memoryReader(pem);
    return CertificateOwner(bio ? PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr) : nullptr);
}

KeyOwner makeKey() { return KeyOwner(EVP_EC_gen("P-256")); }

bool addExtension(X509* certificate, X509V3_CTX& context, int nid, const char* value) {
    ExtensionOwner extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool setRandomSerial(X509* certificate) {
    NumberOwner serial(BN_new());
    return serial && BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
           BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate)) != nullptr;
}

bool setNames(X509* certificate) {
    X509_NAME* name = X509_get_subject_name(certificate);
    auto add = [name](const char* field, const char* value) {
        return X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC,
                                          reinterpret_cast<const unsigned char*>(value), -1, -1, 0) == 1;
    };
    return add("O", "Corvanthelix") && add("CN", "localhost") && X509_set_issuer_name(certificate, name) == 1;
}

// A self-signed server certificate for the loopback names. It is no CA (browsers' verifiers refuse
// a CA certificate presented by a server) and becomes trusted as itself, as an anchor.
CertificateOwner makeCertificate(EVP_PKEY* key) {
    CertificateOwner certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), X509_VERSION_3) != 1) return nullptr;
    if (!setRandomSerial(certificate.get()) || !setNames(certificate.get())) return nullptr;
    // An hour back, so that a clock a little behind the one that made it still accepts it.
    if (!X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), kValidDays, 0, nullptr))
        return nullptr;
    if (X509_set_pubkey(certificate.get(), key) != 1) return nullptr;
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    const bool extended =
        addExtension(certificate.get(), context, NID_basic_constraints, "critical,CA:FALSE") &&
        addExtension(certificate.get(), context, NID_key_usage, "critical,digitalSignature") &&
        addExtension(certificate.get(), context, NID_ext_key_usage, "serverAuth") &&
        addExtension(certificate.get(), context, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1") &&
        addExtension(certificate.get(), context, NID_subject_key_identifier, "hash") &&
        addExtension(certificate.get(), context, NID_authority_key_identifier, "keyid:always");
    if (!extended || X509_sign(certificate.get(), key, EVP_sha256()) <= 0) return nullptr;
    return certificate;
}

bool writeKey(const std::string& path, EVP_PKEY* key) {
    BioOwner bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) return false;
    return replaceFileAtomically(path, memoryContents(bio.get()), true, kKeyMode);
}

bool writePem(const std::string& path, X509* certificate) {
    BioOwner bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) return false;
    return replaceFileAtomically(path, memoryContents(bio.get()), true, kPublicMode);
}

std::string derText(X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(certificate, &der);
    if (size <= 0) return {};
    std::string text(reinterpret_cast<const char*>(der), static_cast<size_t>(size));
    OPENSSL_free(der);
    return text;
}

bool writeDer(const std::string& path, const std::string& der) {
    return !der.empty() && replaceFileAtomically(path, der, true, kPublicMode);
}

LocalCertificate::Outcome completeSet(const std::string& keyPath, const std::string& certificatePath,
                                      const std::string& derPath, bool keyMissing, bool certificateMissing) {
    KeyOwner key = keyMissing ? makeKey() : readKey(keyPath);
    if (!key) return LocalCertificate::Outcome::Failed;
    CertificateOwner certificate = certificateMissing ? makeCertificate(key.get()) : readCertificate(certificatePath);
    if (!certificate) return LocalCertificate::Outcome::Failed;
    // What goes stale goes first, so that a crash at any point leaves files the next call
    // completes correctly: a new key never sits beside the old certificate, nor a new certificate
    // beside the old DER copy.
    if (keyMissing && !removeFile(certificatePath)) return LocalCertificate::Outcome::Failed;
    if (certificateMissing && !removeFile(derPath)) return LocalCertificate::Outcome::Failed;
    if (keyMissing && !writeKey(keyPath, key.get())) return LocalCertificate::Outcome::Failed;
    if (certificateMissing && !writePem(certificatePath, certificate.get())) return LocalCertificate::Outcome::Failed;
    // The DER copy is rewritten with every new certificate, so it never names an old one.
    if (!writeDer(derPath, derText(certificate.get()))) return LocalCertificate::Outcome::Failed;
    return keyMissing ? LocalCertificate::Outcome::Made : LocalCertificate::Outcome::Completed;
}

// A user who puts a certificate of their own in place keeps it, and the DER copy follows it: else
// pendraxil would install a certificate the port no longer serves.
LocalCertificate::Outcome refreshDer(const std::string& certificatePath, const std::string& derPath) {
    CertificateOwner certificate = readCertificate(certificatePath);
    std::string der;
    // An unreadable certificate is the TLS port's to report; the DER copy is left as it is.
    if (!certificate || !readWholeFile(derPath, der)) return LocalCertificate::Outcome::Kept;
    const std::string current = derText(certificate.get());
    if (current.empty() || current == der) return LocalCertificate::Outcome::Kept;
    return writeDer(derPath, current) ? LocalCertificate::Outcome::Completed : LocalCertificate::Outcome::Failed;
}

LocalCertificate::Outcome ensureIn(const std::string& folder) {
    const std::string keyPath = folder + "/" + LocalCertificate::kKeyName;
    const std::string certificatePath = folder + "/" + LocalCertificate::kCertificateName;
    const std::string derPath = folder + "/" + LocalCertificate::kDerName;
    const Presence key = presenceOf(keyPath), certificate = presenceOf(certificatePath), der = presenceOf(derPath);
    if (key == Presence::Unknown || certificate == Presence::Unknown || der == Presence::Unknown)
        return LocalCertificate::Outcome::Failed;
    if (key == Presence::Present && certificate == Presence::Present && der == Presence::Present)
        return refreshDer(certificatePath, derPath);
    const bool keyMissing = key == Presence::Missing;
    const bool certificateMissing = keyMissing || certificate == Presence::Missing;
    return completeSet(keyPath, certificatePath, derPath, keyMissing, certificateMissing);
}

} // namespace

LocalCertificate::Outcome LocalCertificate::ensure(const std::string& folder) {
    Outcome outcome = ensureIn(folder);
    // The error queue is per thread; leave nothing behind for the next caller to misread.
    ERR_clear_error();
    return outcome;
}

} // namespace corvanthelix
