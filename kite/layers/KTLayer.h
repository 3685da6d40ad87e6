#pragma once
// Layers: full-screen nodes that receive touches, accelerometer readings and the back/menu keys while
// they are on the stage (KTLayer), with colour and opacity (KTLayerRGBA), or filled with one colour
// (KTLayerColor). A layer registers with the director's dispatchers when it enters and leaves them when
// it exits, in the touch mode and priority it has then.
#include <climits>

#include "kite/accelerometer/KTAccelerometerDelegate.h"
#include "kite/base/KTScriptSupport.h"
#include "kite/base/KTTypes.h"
#include "kite/keypad/KTKeypadDelegate.h"
#include "kite/layers/KTBlendProtocol.h"
#include "kite/nodes/KTNode.h"
#include "kite/nodes/KTNodeRGBA.h"
#include "kite/touch/KTTouchDelegateProtocol.h"

namespace kite {

enum KTTouchesMode {
    kKTTouchesAllAtOnce = 0,
    kKTTouchesOneByOne = 1,
};

class KTLayer : public KTNode,
                public KTTouchDelegate,
                public KTAccelerometerDelegate,
                public KTKeypadDelegate {
  public:
    KTLayer();
    ~KTLayer() override;

    static KTLayer* create();
    // The window size as the content size; false without a director.
    bool init() override;
    void enter() override;
    void enterTransitionFinished() override;
    void exit() override;

    // Without a script engine touchBegan claims every touch and the other callbacks do nothing;
    // subclasses override the callbacks of their touch mode.
    bool touchBegan(KTTouch* touch, KTEvent* event) override;
    void touchMoved(KTTouch* touch, KTEvent* event) override;
    void touchEnded(KTTouch* touch, KTEvent* event) override;
    void touchCancelled(KTTouch* touch, KTEvent* event) override;
    void touchesBegan(KTSet* touches, KTEvent* event) override;
    void touchesMoved(KTSet* touches, KTEvent* event) override;
    void touchesEnded(KTSet* touches, KTEvent* event) override;
    void touchesCancelled(KTSet* touches, KTEvent* event) override;
    void didAccelerate(KTAcceleration* acceleration) override;

    virtual void registerWithTouchDispatcher();
    virtual void registerScriptTouchHandler(int handler, bool isMultiTouches = false, int priority = INT_MIN,
                                            bool swallowsTouches = false);
    virtual void unregisterScriptTouchHandler();
    virtual bool isTouchEnabled();
    virtual void setTouchEnabled(bool enabled);
    virtual void setTouchMode(KTTouchesMode mode);
    virtual int getTouchMode();
    virtual void setTouchPriority(int priority);
    virtual int getTouchPriority();
    virtual bool isAccelerometerEnabled();
    virtual void setAccelerometerEnabled(bool enabled);
    virtual void setAccelerometerInterval(double interval);
    virtual bool isKeypadEnabled();
    virtual void setKeypadEnabled(bool enabled);
    void backKeyPressed() override;
    void menuKeyPressed() override;

    void registerScriptKeypadHandler(int handler);
    void unregisterScriptKeypadHandler();
    void registerScriptAccelerateHandler(int handler);
    void unregisterScriptAccelerateHandler();
    KTTouchScriptHandlerEntry* getScriptTouchHandlerEntry() const { return m_pScriptTouchHandlerEntry; }
    KTScriptHandlerEntry* getScriptKeypadHandlerEntry() const { return m_pScriptKeypadHandlerEntry; }
    KTScriptHandlerEntry* getScriptAccelerateHandlerEntry() const { return m_pScriptAccelerateHandlerEntry; }

  protected:
    bool m_bTouchEnabled = false;
    bool m_bAccelerometerEnabled = false;
    bool m_bKeypadEnabled = false;

  private:
    KTScriptEngine* scriptEngineForEvents();

    KTTouchScriptHandlerEntry* m_pScriptTouchHandlerEntry = nullptr;
    KTScriptHandlerEntry* m_pScriptKeypadHandlerEntry = nullptr;
    KTScriptHandlerEntry* m_pScriptAccelerateHandlerEntry = nullptr;
    int m_nTouchPriority = 0;
    KTTouchesMode m_eTouchMode = kKTTouchesAllAtOnce;
};

class KTLayerRGBA : public KTLayer, public KTRGBAProtocol {
  public:
    KTLayerRGBA();
    ~KTLayerRGBA() override;

    static KTLayerRGBA* create();
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
    bool _cascadeOpacityEnabled = false;
    bool _cascadeColorEnabled = false;
};

class KTLayerColor : public KTLayerRGBA, public KTBlendProtocol {
  public:
    KTLayerColor();
    ~KTLayerColor() override;

    // Autoreleased.
    static KTLayerColor* create();
    static KTLayerColor* create(const _ccColor4B& color, GLfloat width, GLfloat height);
    static KTLayerColor* create(const _ccColor4B& color);

    // Transparent black, window-sized.
    bool init() override;
    void setContentSize(const KTSize& size) override;
    void draw() override;
    void setOpacity(GLubyte opacity) override;
    void setColor(const _ccColor3B& color) override;

    virtual bool initWithColor(const _ccColor4B& color, GLfloat width, GLfloat height);
    virtual bool initWithColor(const _ccColor4B& color);
    _ccBlendFunc getBlendFunc() override;
    void setBlendFunc(_ccBlendFunc blendFunc) override;

    const ktVertex2F* getSquareVertices() const { return m_pSquareVertices; }
    const _ccColor4F* getSquareColors() const { return m_pSquareColors; }

  protected:
    virtual void updateColor();

    ktVertex2F m_pSquareVertices[4] = {};
    _ccColor4F m_pSquareColors[4] = {};
    _ccBlendFunc m_tBlendFunc;
};

}  // namespace kite
