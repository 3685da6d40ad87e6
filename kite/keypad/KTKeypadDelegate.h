#pragma once
// Receivers of the back and menu keys (layers implement it). A delegate must also be a KTObject: the
// keypad dispatcher's handlers retain it through that base.
namespace kite {

class KTKeypadDelegate {
  public:
    virtual ~KTKeypadDelegate() = default;
    virtual void backKeyPressed() {}
    virtual void menuKeyPressed() {}
};

}  // namespace kite
