#pragma once
// The application object: the one process-wide object through which the platform starts the engine.
// The game's delegate derives from KTApplication and supplies the launch and background operations.
#include <string>

namespace kite {

enum ktLanguageType {
    kLanguageEnglish = 0,
    kLanguageChinese = 1,
    kLanguageFrench = 2,
    kLanguageItalian = 3,
    kLanguageGerman = 4,
    kLanguageSpanish = 5,
    kLanguageRussian = 6,
    kLanguageKorean = 7,
    kLanguageJapanese = 8,
    kLanguageHungarian = 9,
    kLanguagePortuguese = 10,
    kLanguageArabic = 11,
};

enum TargetPlatform {
    kTargetPhone = 4,
    kTargetTablet = 5,
};

class KTApplicationProtocol {
  public:
    virtual ~KTApplicationProtocol() {}
    // Builds the director, the design resolution and the first scene; false stops the start-up.
    virtual bool applicationDidFinishLaunching() = 0;
    virtual void applicationDidEnterBackground() = 0;
    virtual void applicationWillEnterForeground() = 0;
    virtual void setAnimationInterval(double interval) = 0;
    virtual ktLanguageType getCurrentLanguage() = 0;
    virtual TargetPlatform getTargetPlatform() = 0;
};

class KTApplication : public KTApplicationProtocol {
  public:
    // Exactly one may exist at a time.
    KTApplication();
    virtual ~KTApplication();

    static KTApplication* sharedApplication();
    // True while an application object exists.
    static bool hasSharedApplication() { return sm_pSharedApplication != nullptr; }

    // Finishes launching through the delegate, then starts the frame source. Always 0.
    int run();
    void setAnimationInterval(double interval) override;
    ktLanguageType getCurrentLanguage() override;
    TargetPlatform getTargetPlatform() override;

    // The language of a locale identifier such as "zh-Hans" or "pt_BR"; 0 (English) for unknown ones.
    static ktLanguageType languageFromLocaleIdentifier(const std::string& identifier);

  protected:
    static KTApplication* sm_pSharedApplication;
};

}  // namespace kite
