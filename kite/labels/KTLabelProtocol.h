#pragma once
// The text interface shared by the labels; calls through it reach the labels' own operations.
namespace kite {

class KTLabelProtocol {
  public:
    virtual ~KTLabelProtocol() = default;
    virtual void setString(const char* label) = 0;
    virtual const char* getString() = 0;
};

}  // namespace kite
