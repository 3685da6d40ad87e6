#pragma once
// What the offer wall tells the app, and what its adapter drives in the wall that holds it; the adapter
// sees the wall only through the latter.
class ZividedirWallView;

// Every call is optional: the defaults do nothing.
class ZividedirWallViewDelegate {
  public:
    virtual ~ZividedirWallViewDelegate() = default;
    virtual void zividedirViewDidFinishLoad(ZividedirWallView&) {}
    virtual void zividedirViewAdClose(ZividedirWallView&) {}
    virtual void zividedirViewAdFailed(ZividedirWallView&) {}
    virtual void zividedirViewAdTapped(ZividedirWallView&) {}
};

class ZividedirWallHost {
  public:
    virtual ~ZividedirWallHost() = default;
    // The wall itself, as its delegate hears of it.
    virtual ZividedirWallView& wallView() = 0;
    virtual bool htmlLoaded() const = 0;
    virtual void setHtmlLoaded(bool loaded) = 0;
    virtual void stopIndicator() = 0;
    virtual void loadFinish() = 0;
    virtual void pushCloseButton() = 0;
    virtual void closeAdView() = 0;
};
