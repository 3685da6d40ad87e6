#pragma once
// Implemented by nodes that draw with their own blend function.
#include "kite/base/KTTypes.h"

namespace kite {

class KTBlendProtocol {
  public:
    virtual ~KTBlendProtocol() = default;
    virtual void setBlendFunc(_ccBlendFunc blendFunc) = 0;
    virtual _ccBlendFunc getBlendFunc() = 0;
};

}  // namespace kite
