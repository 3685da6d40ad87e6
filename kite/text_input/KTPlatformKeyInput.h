#pragma once
// Carries the keys typed on the platform view into the engine once per frame: text and deletions to the
// focused text field or, while the GL view is first responder, to the IME dispatcher; Escape and Menu as
// the back and menu keys to the director's keypad dispatcher. It also raises and lowers the simulated
// soft keyboard as first responders come and go. The director schedules it.
#include "kite/base/KTObject.h"
#include "platform/base/Lasting.h"

namespace kite {

class KTPlatformKeyInput : public KTObject {
  public:
    static constexpr unsigned long kKeyBackSpace = 0xff08;
    static constexpr unsigned long kKeyReturn = 0xff0d;
    static constexpr unsigned long kKeyEscape = 0xff1b;
    static constexpr unsigned long kKeyMenu = 0xff67;
    static constexpr unsigned long kKeyKeypadEnter = 0xff8d;

    static KTPlatformKeyInput* sharedKeyInput();

    void update(float dt) override;

  private:
    friend class plat::Lasting<KTPlatformKeyInput>;
    KTPlatformKeyInput() = default;
};

}  // namespace kite
