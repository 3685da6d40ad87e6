#include "kite/textures/KTTextureCache.h"

#include <cctype>
#include <string>
#include <vector>

#include "kite/base/KTDictionary.h"
#include "kite/files/KTFileUtils.h"
#include "kite/image/KTImage.h"
#include "kite/textures/KTTexture2D.h"

namespace kite {
namespace {

KTTextureCache* s_sharedTextureCache = nullptr;

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

KTImageFormat imageFormatForPath(const std::string& lowerPath) {
    if (contains(lowerPath, ".png")) return kKTImageFormat_PNG;
    if (contains(lowerPath, ".jpg") || contains(lowerPath, ".jpeg")) return kKTImageFormat_JPG;
    if (contains(lowerPath, ".tif") || contains(lowerPath, ".tiff")) return kKTImageFormat_TIFF;
    if (contains(lowerPath, ".webp")) return kKTImageFormat_WEBP;
    return kKTImageFormat_Unknown;
}

std::string fullPath(const char* path) {
    return KTFileUtils::sharedFileUtils()->fullPathForFilename(path);
}

}  // namespace

KTTextureCache::KTTextureCache() {
    m_pTextures = new KTDictionary();
}

KTTextureCache::~KTTextureCache() {
    KT_SAFE_RELEASE(m_pTextures);
}

KTTextureCache* KTTextureCache::sharedTextureCache() {
    if (!s_sharedTextureCache) s_sharedTextureCache = new KTTextureCache();
    return s_sharedTextureCache;
}

void KTTextureCache::purgeSharedTextureCache() {
    KT_SAFE_RELEASE_NULL(s_sharedTextureCache);
}

KTTexture2D* KTTextureCache::addImage(const char* path) {
    if (!path) return nullptr;
    const std::string pathKey = fullPath(path);
    if (pathKey.empty()) return nullptr;
    if (auto* texture = static_cast<KTTexture2D*>(m_pTextures->objectForKey(pathKey))) return texture;

    // Extensions count anywhere in the path, so "menu.pvr.png" is a PVR file.
    std::string lowerPath = pathKey;
    for (char& c : lowerPath) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (contains(lowerPath, ".pvr")) return addPVRImage(pathKey.c_str());
    if (contains(lowerPath, ".pkm")) return addETCImage(pathKey.c_str());

    auto* image = new KTImage();
    KTTexture2D* texture = nullptr;
    if (image->initWithImageFile(pathKey.c_str(), imageFormatForPath(lowerPath))) {
        texture = new KTTexture2D();
        if (texture->initWithImage(image)) {
            m_pTextures->setObject(texture, pathKey);
            texture->release();
        } else {
            texture->release();
            texture = nullptr;
        }
    }
    image->release();
    return texture;
}

KTTexture2D* KTTextureCache::addPVRImage(const char* path) {
    if (!path) return nullptr;
    const std::string key = path;
    if (auto* texture = static_cast<KTTexture2D*>(m_pTextures->objectForKey(key))) return texture;
    auto* texture = new KTTexture2D();
    if (!texture->initWithPVRFile(fullPath(path).c_str())) {
        texture->release();
        return nullptr;
    }
    m_pTextures->setObject(texture, key);
    return ktAutorelease(texture);
}

KTTexture2D* KTTextureCache::addETCImage(const char* path) {
    if (!path) return nullptr;
    const std::string key = path;
    if (auto* texture = static_cast<KTTexture2D*>(m_pTextures->objectForKey(key))) return texture;
    auto* texture = new KTTexture2D();
    if (!texture->initWithETCFile(fullPath(path).c_str())) {
        texture->release();
        return nullptr;
    }
    m_pTextures->setObject(texture, key);
    return ktAutorelease(texture);
}

KTTexture2D* KTTextureCache::addUIImage(KTImage* image, const char* key) {
    std::string pathKey;
    if (key) {
        pathKey = fullPath(key);
        if (auto* texture = static_cast<KTTexture2D*>(m_pTextures->objectForKey(pathKey))) return texture;
    }
    if (!image) return nullptr;
    auto* texture = new KTTexture2D();
    if (!texture->initWithImage(image)) {
        texture->release();
        return nullptr;
    }
    if (!key) return texture;
    m_pTextures->setObject(texture, pathKey);
    return ktAutorelease(texture);
}

KTTexture2D* KTTextureCache::textureForKey(const char* key) {
    if (!key) return nullptr;
    return static_cast<KTTexture2D*>(m_pTextures->objectForKey(fullPath(key)));
}

void KTTextureCache::removeTextureForKey(const char* key) {
    if (!key) return;
    m_pTextures->removeObjectForKey(fullPath(key));
}

void KTTextureCache::removeUnusedTextures() {
    // Collect first: removing while walking the table would free the entry under the walk.
    std::vector<std::string> unused;
    for (KTDictionaryEntry* entry : *m_pTextures) {
        if (entry->getObject()->isSingleReference()) unused.push_back(entry->getStrKey());
    }
    for (const std::string& key : unused) m_pTextures->removeObjectForKey(key);
}

unsigned int KTTextureCache::getTextureCount() const {
    return m_pTextures->count();
}

}  // namespace kite
