#include "platform/base/CryptoLibrary.h"

#include <openssl/crypto.h>

#include <mutex>

#include "platform/base/Log.h"

namespace plat {

void setUpCryptoLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr))
            logError("CryptoLibrary: the crypto library could not be set up");
    });
}

}  // namespace plat
