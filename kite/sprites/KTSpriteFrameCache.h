#pragma once
// Process-wide lookup of sprite frames by name, with a second table of alias names. Nothing in the engine
// adds frames, so lookups answer null unless a frame was stored by other means.
#include <string>

#include "kite/base/KTObject.h"

namespace kite {

class KTDictionary;
class KTSet;
class KTSpriteFrame;

class KTSpriteFrameCache : public KTObject {
  public:
    KTSpriteFrameCache();
    ~KTSpriteFrameCache() override;

    static KTSpriteFrameCache* sharedSpriteFrameCache();
    static void purgeSharedSpriteFrameCache();

    bool init();
    // The frame stored under the name, else the one stored under the name an alias points to, else null.
    KTSpriteFrame* spriteFrameByName(const char* name);

  protected:
    KTDictionary* m_pSpriteFrames = nullptr;
    KTDictionary* m_pSpriteFramesAliases = nullptr;
    KTSet* m_pLoadedFileNames = nullptr;
};

// Releases the process-wide bitmap-font configuration table when there is one.
void removeBitmapFontConfigurationCache();
void purgeBitmapFontCache();

}  // namespace kite
