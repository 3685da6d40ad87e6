#pragma once
// The engine's built-in GL programs, handed out by key. Each is compiled and linked the first time its key
// is asked for: the driver keeps about 1.5 MB of compiled code per program, and a program may use only a
// few of the nine.
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

    // Needs no GL context: nothing is built yet.
    bool init();
    // Compiles and links those of the nine built-in programs not built yet and stores them under their keys.
    void loadDefaultShaders();
    // The program under the key (built now when it is a built-in one not asked for before), or null. The
    // current GL program stays what it was.
    KTGLProgram* programForKey(const char* key);
    // Programs built so far.
    unsigned int programCount() const;

  private:
    KTDictionary* m_pPrograms = nullptr;
};

}  // namespace kite
