#pragma once
// The advertising identifier, when the app carries a provider for it: a class registered by the name
// "ZAVActualAdIdAccess" that adopts ZAVAdIdAccessProtocol. Looked up once, at start (`load`, called by
// the program's main before the application runs).
#include <string>

class ZAVAdIdAccessProtocol {
  public:
    virtual ~ZAVAdIdAccessProtocol() = default;
    virtual std::string retrieveId() = 0;
    virtual bool retrieveTrackingFlag() = 0;
};

class ZAVAdIdAccess {
  public:
    ZAVAdIdAccess() = delete;
    static constexpr const char* kProviderClassName = "ZAVActualAdIdAccess";

    // Finds the provider in the platform's class registry; a class that does not adopt the interface is
    // passed over.
    static void load();
    // The provider's answers; "" and false without one.
    static std::string retrieveId();
    static bool retrieveTrackingFlag();
    // Back to no provider (process-state resets between tests).
    static void forgetProvider();
};
