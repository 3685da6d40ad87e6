#pragma once
// The TLS and crypto library under the network and digest code, set up once by this process.

namespace plat {

// Sets the library up, without the exit handler it would otherwise register: threads that outlive main
// may be inside it (a request over HTTPS, a digest) while the process exits, and that handler frees its
// locks and tables under them. Whoever sets the library up first decides, so the network and digest code
// call this before their first use of it, and libcurl's own set-up later registers no handler.
void setUpCryptoLibrary();

}  // namespace plat
