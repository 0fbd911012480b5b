#include "update/FileDigest.h"

#include "base/UniqueFd.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace corvanthelix {

namespace {
struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
} // namespace

std::optional<std::string> fileSha256(const std::string& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return std::nullopt;
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

} // namespace corvanthelix
