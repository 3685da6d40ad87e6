#pragma once
// The engine's built-in GL programs, built once on first request and handed out by key.
#include "kite/base/KTObject.h"

namespace kite {

class KTDictionary;
class KTGLProgram;

class KTShaderCache : public KTObject {
  public:
    KTShaderCache();
    ~KTShaderCache() override;

    static KTShaderCache* sharedShaderCache();
    static void purgeSharedShaderCache();

    bool init();
    // Compiles and links the nine built-in programs and stores them under their keys.
    void loadDefaultShaders();
    // The program under the key, or null.
    KTGLProgram* programForKey(const char* key);

  private:
    KTDictionary* m_pPrograms = nullptr;
};

}  // namespace kite
