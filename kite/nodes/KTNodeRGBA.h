#pragma once
// A node with a colour and an opacity. The displayed values are the real ones scaled by the parent's
// displayed values when cascading is on.
#include "kite/base/KTTypes.h"
#include "kite/nodes/KTNode.h"

namespace kite {

// Implemented by every coloured node; cascading finds coloured parents and children through it.
class KTRGBAProtocol {
  public:
    virtual ~KTRGBAProtocol() = default;
    virtual void setColor(const _ccColor3B& color) = 0;
    virtual const _ccColor3B& getColor() = 0;
    virtual const _ccColor3B& getDisplayedColor() = 0;
    virtual GLubyte getDisplayedOpacity() = 0;
    virtual GLubyte getOpacity() = 0;
    virtual void setOpacity(GLubyte opacity) = 0;
    virtual void setOpacityModifyRGB(bool value) = 0;
    virtual bool isOpacityModifyRGB() = 0;
    virtual bool isCascadeColorEnabled() = 0;
    virtual void setCascadeColorEnabled(bool enabled) = 0;
    virtual void updateDisplayedColor(const _ccColor3B& parentColor) = 0;
    virtual bool isCascadeOpacityEnabled() = 0;
    virtual void setCascadeOpacityEnabled(bool enabled) = 0;
    virtual void updateDisplayedOpacity(GLubyte parentOpacity) = 0;
};

class KTNodeRGBA : public KTNode, public KTRGBAProtocol {
  public:
    KTNodeRGBA();
    ~KTNodeRGBA() override;

    static KTNodeRGBA* create();
    bool init() override;

    GLubyte getOpacity() override;
    GLubyte getDisplayedOpacity() override;
    void setOpacity(GLubyte opacity) override;
    void updateDisplayedOpacity(GLubyte parentOpacity) override;
    bool isCascadeOpacityEnabled() override;
    void setCascadeOpacityEnabled(bool enabled) override;

    const _ccColor3B& getColor() override;
    const _ccColor3B& getDisplayedColor() override;
    void setColor(const _ccColor3B& color) override;
    void updateDisplayedColor(const _ccColor3B& parentColor) override;
    bool isCascadeColorEnabled() override;
    void setCascadeColorEnabled(bool enabled) override;

    void setOpacityModifyRGB(bool value) override;
    bool isOpacityModifyRGB() override;

  protected:
    GLubyte _displayedOpacity = 255;
    GLubyte _realOpacity = 255;
    _ccColor3B _displayedColor{255, 255, 255};
    _ccColor3B _realColor{255, 255, 255};
    bool _cascadeColorEnabled = false;
    bool _cascadeOpacityEnabled = false;
};

}  // namespace kite
