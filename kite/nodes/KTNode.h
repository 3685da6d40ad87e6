#pragma once
// The base of everything the director draws: a 2D transform, an ordered list of children, and the
// scheduler and action manager through which the node is animated.
#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <cstring>

#include "kite/actions/KTAction.h"
#include "kite/base/KTAffineTransform.h"
#include "kite/base/KTArray.h"
#include "kite/base/KTGeometry.h"
#include "kite/base/KTObject.h"
#include "kite/core/KTScheduler.h"
#include "kite/nodes/KTNodeAllocator.h"

namespace kite {

class KTActionManager;
class KTCamera;
class KTGridBase;
class KTGLProgram;
class KTComponent;
class KTComponentContainer;
class KTTouch;

constexpr int kKTNodeTagInvalid = -1;

enum : unsigned char { kKTShortVisitUnknown = 0, kKTShortVisitYes = 1, kKTShortVisitNo = 2 };

inline uint32_t ktFloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// What a frame reads of a visited node, and of a sprite's draw, lies within this many bytes from the start of
// the object; a node's visit asks for them of the next child ahead of time.
inline constexpr int kKTNodeHotBytes = 320;

// Script node events.
enum {
    kKTNodeOnEnter = 0,
    kKTNodeOnExit = 1,
    kKTNodeOnEnterTransitionDidFinish = 2,
    kKTNodeOnExitTransitionDidStart = 3,
    kKTNodeOnCleanup = 4,
};

class KTNode : public KTObject {
  public:
    KTNode();
    ~KTNode() override;

    static KTNode* create();

    // Every node, of any class, lives in the node allocator's slots.
    static void* operator new(std::size_t size) { return ktNodeAllocate(size); }
    static void operator delete(void* p, std::size_t size) noexcept { ktNodeFree(p, size); }

    void update(float dt) override;
    virtual bool init();

    virtual void setZOrder(int zOrder);
    // Stores the z-order without telling the parent.
    virtual void storeZOrder(int zOrder);
    virtual int getZOrder();
    virtual void setVertexZ(float vertexZ);
    virtual float getVertexZ();

    virtual void setScaleX(float scaleX);
    virtual float getScaleX();
    virtual void setScaleY(float scaleY);
    virtual float getScaleY();
    virtual void setScale(float scale);
    // Scale X; meaningful when both scales are equal.
    virtual float getScale();
    virtual void setScaleXY(float scaleX, float scaleY);

    // Inline, for the subclasses that extend it: nodes that move are given a position every frame.
    virtual void setPosition(const KTPoint& position) {
        m_obPosition = position;
        m_bTransformDirty = m_bInverseDirty = true;
    }
    virtual const KTPoint& getPosition();
    virtual void setPositionXY(float x, float y);
    virtual void getPositionXY(float* x, float* y);
    virtual void setPositionX(float x);
    virtual float getPositionX();
    virtual void setPositionY(float y);
    virtual float getPositionY();

    virtual void setSkewX(float skewX);
    virtual float getSkewX();
    virtual void setSkewY(float skewY);
    virtual float getSkewY();

    virtual void setAnchorPoint(const KTPoint& anchorPoint);
    virtual const KTPoint& getAnchorPoint();
    virtual const KTPoint& getAnchorPointInPoints();
    virtual void setContentSize(const KTSize& size);
    virtual const KTSize& getContentSize() const;

    virtual void setVisible(bool visible);
    virtual bool isVisible();

    virtual void setRotation(float rotation);
    // Rotation X; meaningful when both rotations are equal.
    virtual float getRotation();
    virtual void setRotationX(float rotationX);
    virtual float getRotationX();
    virtual void setRotationY(float rotationY);
    virtual float getRotationY();

    virtual void setOrderOfArrival(unsigned int orderOfArrival);
    virtual unsigned int getOrderOfArrival();
    virtual void setGLServerState(unsigned int glServerState);
    virtual unsigned int getGLServerState();
    virtual void setIgnoreAnchorPointForPosition(bool ignore);
    virtual bool isIgnoreAnchorPointForPosition();

    virtual void addChild(KTNode* child);
    virtual void addChild(KTNode* child, int zOrder);
    virtual void addChild(KTNode* child, int zOrder, int tag);
    // Null until the first child is added.
    virtual KTArray* getChildren();
    virtual void setParent(KTNode* parent);
    virtual KTNode* getParent();

    virtual void removeFromParent();
    virtual void removeFromParentWithCleanup(bool cleanup);
    virtual void removeChild(KTNode* child);
    virtual void removeChildWithCleanup(KTNode* child, bool cleanup);
    virtual void removeChildByTag(int tag);
    virtual void removeChildByTagWithCleanup(int tag, bool cleanup);
    virtual void removeAllChildren();
    virtual void removeAllChildrenWithCleanup(bool cleanup);
    virtual void reorderChild(KTNode* child, int zOrder);
    virtual void sortAllChildren();

    virtual KTGridBase* getGrid();
    virtual void setGrid(KTGridBase* grid);
    virtual int getTag() const;
    virtual void setTag(int tag);
    virtual void* getUserData();
    virtual void setUserData(void* userData);
    virtual KTObject* getUserObject();
    virtual void setUserObject(KTObject* userObject);
    virtual KTGLProgram* getShaderProgram();
    virtual void setShaderProgram(KTGLProgram* program);
    // Created on first request.
    virtual KTCamera* getCamera();
    virtual bool isRunning();

    virtual void registerScriptHandler(int handler);
    virtual void unregisterScriptHandler();

    virtual void enter();
    virtual void enterTransitionFinished();
    virtual void exit();
    virtual void exitTransitionStarted();
    // Removes the node's actions and timers, then its children's.
    virtual void cleanup();
    virtual void draw();
    virtual void visit();

    virtual void setActionManager(KTActionManager* actionManager);
    virtual KTActionManager* getActionManager();
    virtual void setScheduler(KTScheduler* scheduler);
    virtual KTScheduler* getScheduler();

    virtual void updateTransform();
    virtual KTAffineTransform nodeToParentTransform();
    virtual KTAffineTransform parentToNodeTransform();
    virtual KTAffineTransform nodeToWorldTransform();
    virtual KTAffineTransform worldToNodeTransform();

    virtual bool addComponent(KTComponent* component);
    virtual bool removeComponent(const char* name);
    virtual void removeAllComponents();

    KTNode* getChildByTag(int tag);
    unsigned int getChildrenCount() const;

    // Returns the action. Paused until the node enters.
    KTAction* runAction(KTAction* action);
    void stopAllActions();

    void scheduleUpdate();
    void unscheduleUpdate();
    void schedule(SEL_SCHEDULE selector, float interval, unsigned int repeat, float delay);
    void schedule(SEL_SCHEDULE selector, float interval);
    void scheduleOnce(SEL_SCHEDULE selector, float delay);
    void unschedule(SEL_SCHEDULE selector);

    KTPoint convertToWorldSpace(const KTPoint& nodePoint);
    KTPoint convertToNodeSpace(const KTPoint& worldPoint);
    // The touch's location in GL coordinates, in this node's space.
    KTPoint convertTouchToNodeSpace(KTTouch* touch);

    // Multiplies the node's transform onto the current model-view matrix.
    void transform();
    // The ancestors' transforms, outermost first.
    void transformAncestors();

    KTComponent* getComponent(const char* name) const;
    int getScriptHandler() const { return m_pCold->m_nScriptHandler; }
    int getUpdateScriptHandler() const { return m_pCold->m_nUpdateScriptHandler; }
    int getScriptType() const { return m_pCold->m_eScriptType; }

    // Applied after the node's own transform at the next rebuild of the cached transform.
    void setAdditionalTransform(const KTAffineTransform& additionalTransform);

  protected:
    // The camera part of transform, when the node has a camera and no active grid.
    void applyCamera();

    void detachChild(KTNode* child, bool cleanup);
    // visit for a node with children, a grid or a camera.
    void visitTree();
    // The last step of nodeToParentTransform's rebuild: the additional transform, then the flag.
    inline KTAffineTransform finishTransform();
    // nodeToParentTransform's rebuilds: without rotation and skew (m_sTransform only), and any.
    inline void rebuildUnrotatedTransform();
    KTAffineTransform rebuildTransform();
    // What KTNode::nodeToParentTransform returns, in line, for a caller that knows the object's class keeps
    // it: the cached transform, rebuilt first when dirty (an unrotated one here, any other out of line).
    // A node that moves is dirty at every visit, so the rebuild lies on the straight path: a sprite's visit
    // then runs through its code lines in order after every draw call, whose driver code evicted them.
    [[gnu::always_inline]] const KTAffineTransform& ownNodeToParentTransform() {
        if (m_bTransformDirty) [[likely]] {
            if (rotatedSkewedOrAdditional()) [[unlikely]] {
                rebuildTransform();
            } else {
                rebuildUnrotatedTransform();
                m_bTransformDirty = false;
            }
        }
        return m_sTransform;
    }
    // m_obAnchorPointInPoints.equals(KTPointZero), by the bits: a magnitude below FLT_EPSILON (and no NaN)
    // on both axes, with no constant to load.
    bool anchorNearZero() const {
        static_assert(FLT_EPSILON == 0x1p-23f);
        return std::max(ktFloatBits(m_obAnchorPointInPoints.x) << 1, ktFloatBits(m_obAnchorPointInPoints.y)
                                                                         << 1) < (0x34000000u << 1);
    }
    // Whether a rotation or skew differs from zero (or is not a number), or an additional transform waits:
    // the four values' bits with their signs dropped, so one branch tells.
    bool rotatedSkewedOrAdditional() const {
        return (((ktFloatBits(m_fRotationX) | ktFloatBits(m_fRotationY) | ktFloatBits(m_fSkewX) |
                  ktFloatBits(m_fSkewY))
                 << 1) != 0) |
               m_bAdditionalTransformDirty;
    }

    // What a frame reads of every node it visits comes first, so that a sprite's visit and draw touch a few
    // neighbouring cache lines instead of the whole object: what the setters write and the cached transform
    // is rebuilt from, the flags, the transform, the children and the drawing state.
    KTPoint m_obPosition;
    bool m_bVisible = true;
    bool m_bTransformDirty = true;
    bool m_bInverseDirty = true;
    bool m_bAdditionalTransformDirty = false;
    bool m_bIgnoreAnchorPointForPosition = false;
    bool m_bReorderChildDirty = false;
    // Set while the node draws through a batch node's atlas (a sprite), whose transform setters then have
    // more to do; kept here, beside what the setters write, so that they read no other cache line.
    bool m_bBatched = false;
    // Whether the object's class is one whose visit of a leaf may run its own transform and draw in line
    // (kKTShortVisitYes) or not; a subclass that has such a visit tells once, at its first visit.
    unsigned char m_uShortVisit = kKTShortVisitUnknown;
    float m_fScaleX = 1.0f;
    float m_fScaleY = 1.0f;
    float m_fRotationX = 0.0f;
    float m_fRotationY = 0.0f;
    float m_fSkewX = 0.0f;
    float m_fSkewY = 0.0f;
    KTAffineTransform m_sTransform;
    KTPoint m_obAnchorPointInPoints;
    float m_fVertexZ = 0.0f;
    int m_nZOrder = 0;
    KTArray* m_pChildren = nullptr;
    KTGLProgram* m_pShaderProgram = nullptr;
    KTGridBase* m_pGrid = nullptr;
    KTCamera* m_pCamera = nullptr;
    unsigned int m_uOrderOfArrival = 0;
    unsigned int m_eGLServerState = 0;
    KTNode* m_pParent = nullptr;

    // The rest, which frames do not read, in a block of its own.
    struct ColdFields {
        KTPoint m_obAnchorPoint;
        KTSize m_obContentSize;
        KTAffineTransform m_sAdditionalTransform;
        KTAffineTransform m_sInverse;
        int m_nTag = kKTNodeTagInvalid;
        void* m_pUserData = nullptr;
        KTObject* m_pUserObject = nullptr;
        KTScheduler* m_pScheduler = nullptr;
        KTActionManager* m_pActionManager = nullptr;
        bool m_bRunning = false;
        int m_nScriptHandler = 0;
        int m_nUpdateScriptHandler = 0;
        int m_eScriptType = 0;
        KTComponentContainer* m_pComponentContainer = nullptr;
    };
    ColdFields* const m_pCold;
};

// Most nodes that move are neither rotated nor skewed: the products of the general rebuild with cos 1 and sin
// 0 and no skew matrix, written out (a product by 1 dropped, the ones by 0 kept, so the bits are the same).
inline void KTNode::rebuildUnrotatedTransform() {
    float x = m_obPosition.x;
    float y = m_obPosition.y;
    if (m_bIgnoreAnchorPointForPosition) {
        x += m_obAnchorPointInPoints.x;
        y += m_obAnchorPointInPoints.y;
    }
    const float ax = m_obAnchorPointInPoints.x;
    const float ay = m_obAnchorPointInPoints.y;
    if (!anchorNearZero()) {
        x += 0.0f * ay * m_fScaleY - ax * m_fScaleX;
        y += -0.0f * ax * m_fScaleX - ay * m_fScaleY;
    }
    m_sTransform = {m_fScaleX, 0.0f * m_fScaleX, -0.0f * m_fScaleY, m_fScaleY, x, y};
}

}  // namespace kite
