#include "platform/base/Digest.h"

#include <openssl/evp.h>

#include "platform/base/CryptoLibrary.h"
#include "platform/base/Log.h"
#include "platform/base/PercentEncoding.h"

namespace plat {

Bytes Digest::digest(Algorithm algorithm, const void* data, size_t size) {
    setUpCryptoLibrary();
    const EVP_MD* md = EVP_sha256();
    switch (algorithm) {
        case Algorithm::MD5:
            md = EVP_md5();
            break;
        case Algorithm::SHA1:
            md = EVP_sha1();
            break;
        case Algorithm::SHA256:
            md = EVP_sha256();
            break;
        case Algorithm::SHA384:
            md = EVP_sha384();
            break;
        case Algorithm::SHA512:
            md = EVP_sha512();
            break;
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    static const unsigned char kNothing = 0;
    if (!EVP_Digest(data ? data : &kNothing, data ? size : 0, out, &length, md, nullptr)) {
        // Only an unusable crypto library gets here; an empty digest never compares equal to a real one.
        logError("Digest: the digest could not be computed");
        return {};
    }
    return Bytes(out, out + length);
}

std::string Digest::hex(const Bytes& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) appendHex(out, b, true);
    return out;
}

std::string Digest::hex(Algorithm algorithm, std::string_view text) {
    return hex(digest(algorithm, text));
}

}  // namespace plat
