// The containers' property-list readers, served by the shared file utilities.
#include "kite/base/KTArray.h"
#include "kite/base/KTDictionary.h"
#include "kite/files/KTFileUtils.h"

namespace kite {

KTDictionary* KTDictionary::createWithContentsOfFileThreadSafe(const char* pFileName) {
    return KTFileUtils::sharedFileUtils()->createCCDictionaryWithContentsOfFile(pFileName ? pFileName : "");
}

KTDictionary* KTDictionary::createWithContentsOfFile(const char* pFileName) {
    return ktAutorelease(createWithContentsOfFileThreadSafe(pFileName));
}

KTArray* KTArray::createWithContentsOfFileThreadSafe(const char* pFileName) {
    return KTFileUtils::sharedFileUtils()->createCCArrayWithContentsOfFile(pFileName ? pFileName : "");
}

KTArray* KTArray::createWithContentsOfFile(const char* pFileName) {
    return ktAutorelease(createWithContentsOfFileThreadSafe(pFileName));
}

}  // namespace kite
