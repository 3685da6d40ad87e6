#pragma once
// What a placement tells the app. Every operation is optional: the defaults do nothing.
#include <memory>

class ZividedirView;

class ZividedirViewDelegate {
  public:
    virtual ~ZividedirViewDelegate() = default;
    virtual void zividedirViewDidFinishLoad(const std::shared_ptr<ZividedirView>&) {}
    virtual void zividedirViewAdTapped(const std::shared_ptr<ZividedirView>&) {}
    virtual void zividedirViewAdFailed(const std::shared_ptr<ZividedirView>&) {}
};
