#include "app/store/Sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace mugrove {

namespace {

// libcrypto fails here only when it cannot allocate a few hundred bytes;
// a hash that silently differs would be worse than stopping.
void Check(int ok)
{
    if (ok != 1)
        std::abort();
}

} // namespace

struct Sha256::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : context_(std::make_unique<Context>())
{
    Check(context_->md != nullptr);
    Check(EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr));
}

Sha256::~Sha256() = default;

void Sha256::Add(QByteArrayView bytes)
{
    Check(EVP_DigestUpdate(context_->md, bytes.data(), std::size_t(bytes.size())));
}

QByteArray Sha256::Result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int size = 0;
    Check(EVP_DigestFinal_ex(context_->md, reinterpret_cast<unsigned char*>(digest.data()), &size));
    digest.truncate(int(size));
    return digest;
}

QByteArray Sha256::Of(QByteArrayView bytes)
{
    Sha256 hash;
    hash.Add(bytes);
    return hash.Result();
}

} // namespace mugrove
