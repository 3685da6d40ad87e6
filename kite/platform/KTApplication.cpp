#include "kite/platform/KTApplication.h"

#include <cctype>

#include "kite/base/KTMacros.h"
#include "kite/platform/KTDirectorCaller.h"
#include "platform/storage/UserDefaults.h"

namespace kite {

KTApplication* KTApplication::sm_pSharedApplication = nullptr;

KTApplication::KTApplication() {
    KTAssert(!sm_pSharedApplication, "! sm_pSharedApplication");
    sm_pSharedApplication = this;
}

KTApplication::~KTApplication() {
    KTAssert(this == sm_pSharedApplication, "this == sm_pSharedApplication");
    sm_pSharedApplication = nullptr;
}

KTApplication* KTApplication::sharedApplication() {
    KTAssert(sm_pSharedApplication, "sm_pSharedApplication");
    return sm_pSharedApplication;
}

int KTApplication::run() {
    if (applicationDidFinishLaunching()) KTDirectorCaller::sharedDirectorCaller()->startMainLoop();
    return 0;
}

void KTApplication::setAnimationInterval(double interval) {
    KTDirectorCaller::sharedDirectorCaller()->setAnimationInterval(interval);
}

ktLanguageType KTApplication::languageFromLocaleIdentifier(const std::string& identifier) {
    std::string code;
    for (char c : identifier) {
        if (c == '-' || c == '_' || c == '@' || c == '.') break;
        code.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    static const char* const kCodes[] = {"zh", "en", "fr", "it", "de", "es",
                                         "ru", "ko", "ja", "hu", "pt", "ar"};
    static const ktLanguageType kValues[] = {kLanguageChinese,   kLanguageEnglish,    kLanguageFrench,
                                             kLanguageItalian,   kLanguageGerman,     kLanguageSpanish,
                                             kLanguageRussian,   kLanguageKorean,     kLanguageJapanese,
                                             kLanguageHungarian, kLanguagePortuguese, kLanguageArabic};
    for (size_t i = 0; i < sizeof kCodes / sizeof kCodes[0]; ++i)
        if (code == kCodes[i]) return kValues[i];
    return kLanguageEnglish;
}

ktLanguageType KTApplication::getCurrentLanguage() {
    auto languages = plat::UserDefaults::standard()->objectForKey(plat::UserDefaults::kLanguagesKey);
    if (!languages) return kLanguageEnglish;
    const plat::Value::Array* array = languages->arrayIf();
    if (!array || array->empty()) return kLanguageEnglish;
    const std::string* first = array->front().stringIf();
    return first ? languageFromLocaleIdentifier(*first) : kLanguageEnglish;
}

TargetPlatform KTApplication::getTargetPlatform() {
    // The desktop stands in for a phone; nothing here reports the tablet idiom.
    return kTargetPhone;
}

}  // namespace kite
