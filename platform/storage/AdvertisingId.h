#pragma once
// The device's advertising identifier, as the phone's advertising-id service gives it to apps. Here it
// is made once per install: a version-4 UUID written to <home>/Library/AdvertisingIdentifier and read
// back from then on. The user limits ad tracking with the boolean "AdvertisingTrackingLimited" in the
// app's defaults (Library/Preferences); limited, the service answers with no identifier, as the phone
// does. Thread-safe.
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/base/Uuid.h"

namespace plat {

class AdvertisingId {
  public:
    static constexpr const char* kTrackingLimitedKey = "AdvertisingTrackingLimited";
    static constexpr const char* kFileName = "AdvertisingIdentifier";

    static AdvertisingId& shared();

    // False when the user limited ad tracking, and while the app's settings could not be read (the
    // user's choice is unknown then); true when the key is absent.
    bool isAdvertisingTrackingEnabled() const;
    // The install's identifier, made and kept on first use; none while tracking is limited, or when
    // the app's data cannot hold it (then nothing is made up that would change at the next launch).
    // A file that cannot be read at the moment gives none for this call and stays as it is; only a file
    // read whole that holds no identifier is set aside (never over one set aside before) for a new one.
    std::optional<Uuid> advertisingIdentifier();

    // <home>/Library/AdvertisingIdentifier.
    static std::filesystem::path filePath();

  private:
    std::mutex mutex_;
};

}  // namespace plat
