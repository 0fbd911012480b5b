#pragma once
// Owners for the OpenSSL handles pendraxil holds; each frees its handle with the matching call.
#include <memory>
#include <vector>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

namespace corvanthelix {

template <typename T, auto release>
struct OpenSslFree {
    void operator()(T* handle) const noexcept { release(handle); }
};

using BioOwner = std::unique_ptr<BIO, OpenSslFree<BIO, BIO_free_all>>;
using CertificateOwner = std::unique_ptr<X509, OpenSslFree<X509, X509_free>>;
using KeyOwner = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY, EVP_PKEY_free>>;
using Pkcs12Owner = std::unique_ptr<PKCS12, OpenSslFree<PKCS12, PKCS12_free>>;
using ProviderOwner = std::unique_ptr<OSSL_PROVIDER, OpenSslFree<OSSL_PROVIDER, OSSL_PROVIDER_unload>>;

/// The certificates read from one file, in file order.
using Certificates = std::vector<CertificateOwner>;

} // namespace corvanthelix
