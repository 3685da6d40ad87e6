#pragma once
// The process-wide owner of loaded textures: one KTTexture2D per full path, made on the first request and
// shared afterwards. The loader is chosen from the file name (PVR, ETC, or a decoded image). Main thread
// only.
#include "kite/base/KTObject.h"

namespace kite {

class KTDictionary;
class KTImage;
class KTTexture2D;

class KTTextureCache : public KTObject {
  public:
    KTTextureCache();
    ~KTTextureCache() override;

    static KTTextureCache* sharedTextureCache();
    // Releases the cache and with it every texture nobody else retains.
    static void purgeSharedTextureCache();

    // The texture for a file, loaded on first use; null when the file cannot be loaded. The cache owns it:
    // callers retain what they keep.
    KTTexture2D* addImage(const char* path);
    KTTexture2D* addPVRImage(const char* path);
    KTTexture2D* addETCImage(const char* path);
    // With a key the texture is cached under the key's full path (an existing one is returned as it is);
    // without a key the new texture is returned unstored, and the caller owns that reference.
    KTTexture2D* addUIImage(KTImage* image, const char* key);

    KTTexture2D* textureForKey(const char* key);
    void removeTextureForKey(const char* key);
    // Drops every texture that only the cache still holds.
    void removeUnusedTextures();

    unsigned int getTextureCount() const;

  private:
    KTDictionary* m_pTextures = nullptr;
};

}  // namespace kite
