#include "kite/nodes/KTNode.h"

#include <cmath>

#include "kite/actions/KTActionManager.h"
#include "kite/base/KTMacros.h"
#include "kite/base/KTScriptSupport.h"
#include "kite/camera/KTCamera.h"
#include "kite/camera/KTGrid.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/nodes/KTComponent.h"
#include "kite/touch/KTTouch.h"

namespace kite {

namespace {

// Gives every added or reordered child its place among siblings of equal z-order.
unsigned int s_globalOrderOfArrival = 1;

constexpr float kDegreesToRadians = 0.017453292f;

KTScriptEngine* scriptEngine() {
    return KTScriptEngineManager::sharedManager()->getScriptEngine();
}

}  // namespace

KTNode::KTNode() : m_sTransform(KTAffineTransformMakeIdentity()), m_pCold(new ColdFields) {
    m_pCold->m_sAdditionalTransform = KTAffineTransformMakeIdentity();
    m_pCold->m_sInverse = KTAffineTransformMakeIdentity();
    KTDirector* director = KTDirector::sharedDirector();
    m_pCold->m_pActionManager = director->getActionManager();
    KT_SAFE_RETAIN(m_pCold->m_pActionManager);
    m_pCold->m_pScheduler = director->getScheduler();
    KT_SAFE_RETAIN(m_pCold->m_pScheduler);
    KTScriptEngine* engine = scriptEngine();
    m_pCold->m_eScriptType = engine ? engine->getScriptKind() : kKTScriptTypeNone;
    m_pCold->m_pComponentContainer = new KTComponentContainer(this);
}

KTNode::~KTNode() {
    unregisterScriptHandler();
    if (m_pCold->m_nUpdateScriptHandler) {
        if (KTScriptEngine* engine = scriptEngine())
            engine->removeScriptHandler(m_pCold->m_nUpdateScriptHandler);
        m_pCold->m_nUpdateScriptHandler = 0;
    }
    // Components go while the scheduler is still held: removing them unschedules this node's update.
    if (m_pCold->m_pComponentContainer) {
        m_pCold->m_pComponentContainer->removeAll();
        KT_SAFE_DELETE(m_pCold->m_pComponentContainer);
    }
    KT_SAFE_RELEASE(m_pCold->m_pActionManager);
    KT_SAFE_RELEASE(m_pCold->m_pScheduler);
    KT_SAFE_RELEASE(m_pCamera);
    KT_SAFE_RELEASE(m_pGrid);
    KT_SAFE_RELEASE(m_pShaderProgram);
    KT_SAFE_RELEASE(m_pCold->m_pUserObject);
    if (m_pChildren) {
        for (KTObject* obj : *m_pChildren) {
            if (obj) static_cast<KTNode*>(obj)->setParent(nullptr);
        }
    }
    KT_SAFE_RELEASE(m_pChildren);
    delete m_pCold;
}

KTNode* KTNode::create() {
    auto* node = new KTNode();
    if (node->init()) return ktAutorelease(node);
    node->release();
    return nullptr;
}

bool KTNode::init() {
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Plain properties

void KTNode::setZOrder(int zOrder) {
    storeZOrder(zOrder);
    if (m_pParent) m_pParent->reorderChild(this, zOrder);
}

void KTNode::storeZOrder(int zOrder) {
    m_nZOrder = zOrder;
}
int KTNode::getZOrder() {
    return m_nZOrder;
}

void KTNode::setVertexZ(float vertexZ) {
    m_fVertexZ = vertexZ;
}
float KTNode::getVertexZ() {
    return m_fVertexZ;
}

void KTNode::setScaleX(float scaleX) {
    m_fScaleX = scaleX;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getScaleX() {
    return m_fScaleX;
}

void KTNode::setScaleY(float scaleY) {
    m_fScaleY = scaleY;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getScaleY() {
    return m_fScaleY;
}

void KTNode::setScale(float scale) {
    m_fScaleX = m_fScaleY = scale;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getScale() {
    return m_fScaleX;
}

void KTNode::setScaleXY(float scaleX, float scaleY) {
    m_fScaleX = scaleX;
    m_fScaleY = scaleY;
    m_bTransformDirty = m_bInverseDirty = true;
}

const KTPoint& KTNode::getPosition() {
    return m_obPosition;
}

void KTNode::setPositionXY(float x, float y) {
    setPosition(KTPoint(x, y));
}
void KTNode::getPositionXY(float* x, float* y) {
    if (x) *x = m_obPosition.x;
    if (y) *y = m_obPosition.y;
}
void KTNode::setPositionX(float x) {
    setPosition(KTPoint(x, m_obPosition.y));
}
float KTNode::getPositionX() {
    return m_obPosition.x;
}
void KTNode::setPositionY(float y) {
    setPosition(KTPoint(m_obPosition.x, y));
}
float KTNode::getPositionY() {
    return m_obPosition.y;
}

void KTNode::setSkewX(float skewX) {
    m_fSkewX = skewX;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getSkewX() {
    return m_fSkewX;
}
void KTNode::setSkewY(float skewY) {
    m_fSkewY = skewY;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getSkewY() {
    return m_fSkewY;
}

void KTNode::setAnchorPoint(const KTPoint& anchorPoint) {
    if (anchorPoint.equals(m_pCold->m_obAnchorPoint)) return;
    m_pCold->m_obAnchorPoint = anchorPoint;
    m_obAnchorPointInPoints = KTPoint(m_pCold->m_obContentSize.width * m_pCold->m_obAnchorPoint.x,
                                      m_pCold->m_obContentSize.height * m_pCold->m_obAnchorPoint.y);
    m_bTransformDirty = m_bInverseDirty = true;
}
const KTPoint& KTNode::getAnchorPoint() {
    return m_pCold->m_obAnchorPoint;
}
const KTPoint& KTNode::getAnchorPointInPoints() {
    return m_obAnchorPointInPoints;
}

void KTNode::setContentSize(const KTSize& size) {
    if (size.equals(m_pCold->m_obContentSize)) return;
    m_pCold->m_obContentSize = size;
    m_obAnchorPointInPoints = KTPoint(m_pCold->m_obContentSize.width * m_pCold->m_obAnchorPoint.x,
                                      m_pCold->m_obContentSize.height * m_pCold->m_obAnchorPoint.y);
    m_bTransformDirty = m_bInverseDirty = true;
}
const KTSize& KTNode::getContentSize() const {
    return m_pCold->m_obContentSize;
}

void KTNode::setVisible(bool visible) {
    m_bVisible = visible;
}
bool KTNode::isVisible() {
    return m_bVisible;
}

void KTNode::setRotation(float rotation) {
    m_fRotationX = m_fRotationY = rotation;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getRotation() {
    return m_fRotationX;
}
void KTNode::setRotationX(float rotationX) {
    m_fRotationX = rotationX;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getRotationX() {
    return m_fRotationX;
}
void KTNode::setRotationY(float rotationY) {
    m_fRotationY = rotationY;
    m_bTransformDirty = m_bInverseDirty = true;
}
float KTNode::getRotationY() {
    return m_fRotationY;
}

void KTNode::setOrderOfArrival(unsigned int orderOfArrival) {
    m_uOrderOfArrival = orderOfArrival;
}
unsigned int KTNode::getOrderOfArrival() {
    return m_uOrderOfArrival;
}
void KTNode::setGLServerState(unsigned int glServerState) {
    m_eGLServerState = glServerState;
}
unsigned int KTNode::getGLServerState() {
    return m_eGLServerState;
}

void KTNode::setIgnoreAnchorPointForPosition(bool ignore) {
    if (ignore == m_bIgnoreAnchorPointForPosition) return;
    m_bIgnoreAnchorPointForPosition = ignore;
    m_bTransformDirty = m_bInverseDirty = true;
}
bool KTNode::isIgnoreAnchorPointForPosition() {
    return m_bIgnoreAnchorPointForPosition;
}

KTGridBase* KTNode::getGrid() {
    return m_pGrid;
}
void KTNode::setGrid(KTGridBase* grid) {
    KT_SAFE_RETAIN(grid);
    KT_SAFE_RELEASE(m_pGrid);
    m_pGrid = grid;
}

int KTNode::getTag() const {
    return m_pCold->m_nTag;
}
void KTNode::setTag(int tag) {
    m_pCold->m_nTag = tag;
}
void* KTNode::getUserData() {
    return m_pCold->m_pUserData;
}
void KTNode::setUserData(void* userData) {
    m_pCold->m_pUserData = userData;
}
KTObject* KTNode::getUserObject() {
    return m_pCold->m_pUserObject;
}
void KTNode::setUserObject(KTObject* userObject) {
    KT_SAFE_RETAIN(userObject);
    KT_SAFE_RELEASE(m_pCold->m_pUserObject);
    m_pCold->m_pUserObject = userObject;
}
KTGLProgram* KTNode::getShaderProgram() {
    return m_pShaderProgram;
}
void KTNode::setShaderProgram(KTGLProgram* program) {
    KT_SAFE_RETAIN(program);
    KT_SAFE_RELEASE(m_pShaderProgram);
    m_pShaderProgram = program;
}

KTCamera* KTNode::getCamera() {
    if (!m_pCamera) m_pCamera = new KTCamera();
    return m_pCamera;
}

bool KTNode::isRunning() {
    return m_pCold->m_bRunning;
}

void KTNode::setAdditionalTransform(const KTAffineTransform& additionalTransform) {
    m_pCold->m_sAdditionalTransform = additionalTransform;
    m_bTransformDirty = m_bInverseDirty = true;
    m_bAdditionalTransformDirty = true;
}

// ---------------------------------------------------------------------------------------------------------
// Children

KTArray* KTNode::getChildren() {
    return m_pChildren;
}
unsigned int KTNode::getChildrenCount() const {
    return m_pChildren ? m_pChildren->count() : 0;
}
void KTNode::setParent(KTNode* parent) {
    m_pParent = parent;
}
KTNode* KTNode::getParent() {
    return m_pParent;
}

KTNode* KTNode::getChildByTag(int tag) {
    if (!m_pChildren) return nullptr;
    for (KTObject* obj : *m_pChildren) {
        auto* child = static_cast<KTNode*>(obj);
        if (child && child->m_pCold->m_nTag == tag) return child;
    }
    return nullptr;
}

void KTNode::addChild(KTNode* child) {
    KTAssert(child != nullptr, "Argument must be non-nil");
    addChild(child, child->m_nZOrder, child->m_pCold->m_nTag);
}

void KTNode::addChild(KTNode* child, int zOrder) {
    KTAssert(child != nullptr, "Argument must be non-nil");
    addChild(child, zOrder, child->m_pCold->m_nTag);
}

void KTNode::addChild(KTNode* child, int zOrder, int tag) {
    KTAssert(child != nullptr, "Argument must be non-nil");
    if (!m_pChildren) {
        m_pChildren = KTArray::createWithCapacity(4);
        m_pChildren->retain();
    }
    m_bReorderChildDirty = true;
    m_pChildren->addObject(child);
    child->storeZOrder(zOrder);
    child->m_pCold->m_nTag = tag;
    child->setParent(this);
    child->setOrderOfArrival(s_globalOrderOfArrival++);
    if (m_pCold->m_bRunning) {
        child->enter();
        child->enterTransitionFinished();
    }
}

void KTNode::reorderChild(KTNode* child, int zOrder) {
    KTAssert(child != nullptr, "Child must be non-nil");
    m_bReorderChildDirty = true;
    child->setOrderOfArrival(s_globalOrderOfArrival++);
    child->storeZOrder(zOrder);
}

void KTNode::sortAllChildren() {
    if (!m_bReorderChildDirty) return;
    if (m_pChildren && m_pChildren->count() >= 2) {
        // Insertion sort in place: stable, and cheap for the nearly sorted lists that a frame leaves.
        KTObject** items = m_pChildren->data->arr;
        const int count = static_cast<int>(m_pChildren->count());
        for (int i = 1; i < count; ++i) {
            auto* item = static_cast<KTNode*>(items[i]);
            int j = i - 1;
            while (j >= 0) {
                auto* other = static_cast<KTNode*>(items[j]);
                if (item->m_nZOrder < other->m_nZOrder ||
                    (item->m_nZOrder == other->m_nZOrder &&
                     item->m_uOrderOfArrival < other->m_uOrderOfArrival)) {
                    items[j + 1] = items[j];
                    --j;
                } else {
                    break;
                }
            }
            items[j + 1] = item;
        }
    }
    m_bReorderChildDirty = false;
}

void KTNode::detachChild(KTNode* child, bool cleanup) {
    if (m_pCold->m_bRunning) {
        child->exitTransitionStarted();
        child->exit();
    }
    if (cleanup) child->cleanup();
    child->setParent(nullptr);
    m_pChildren->removeObject(child);
}

void KTNode::removeFromParent() {
    removeFromParentWithCleanup(true);
}

void KTNode::removeFromParentWithCleanup(bool cleanup) {
    if (m_pParent) m_pParent->removeChildWithCleanup(this, cleanup);
}

void KTNode::removeChild(KTNode* child) {
    removeChildWithCleanup(child, true);
}

void KTNode::removeChildWithCleanup(KTNode* child, bool cleanup) {
    if (!m_pChildren || !child) return;
    if (m_pChildren->containsObject(child)) detachChild(child, cleanup);
}

void KTNode::removeChildByTag(int tag) {
    removeChildByTagWithCleanup(tag, true);
}

void KTNode::removeChildByTagWithCleanup(int tag, bool cleanup) {
    if (KTNode* child = getChildByTag(tag)) removeChildWithCleanup(child, cleanup);
}

void KTNode::removeAllChildren() {
    removeAllChildrenWithCleanup(true);
}

void KTNode::removeAllChildrenWithCleanup(bool cleanup) {
    if (!m_pChildren || m_pChildren->count() == 0) return;
    // The count is re-read: a child's exit or cleanup may not change the array, but must not overrun it.
    for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
        auto* child = static_cast<KTNode*>(m_pChildren->objectAtIndex(i));
        if (!child) continue;
        if (m_pCold->m_bRunning) {
            child->exitTransitionStarted();
            child->exit();
        }
        if (cleanup) child->cleanup();
        child->setParent(nullptr);
    }
    m_pChildren->removeAllObjects();
}

// ---------------------------------------------------------------------------------------------------------
// Entering and leaving the stage

void KTNode::registerScriptHandler(int handler) {
    unregisterScriptHandler();
    m_pCold->m_nScriptHandler = handler;
}

void KTNode::unregisterScriptHandler() {
    if (m_pCold->m_nScriptHandler) {
        if (KTScriptEngine* engine = scriptEngine()) engine->removeScriptHandler(m_pCold->m_nScriptHandler);
    }
    m_pCold->m_nScriptHandler = 0;
}

void KTNode::enter() {
    if (m_pChildren) {
        for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
            static_cast<KTNode*>(m_pChildren->objectAtIndex(i))->enter();
        }
    }
    m_pCold->m_pScheduler->resumeTarget(this);
    m_pCold->m_pActionManager->resumeTarget(this);
    m_pCold->m_bRunning = true;
    if (m_pCold->m_eScriptType != kKTScriptTypeNone) {
        if (KTScriptEngine* engine = scriptEngine()) engine->executeNodeEvent(this, kKTNodeOnEnter);
    }
}

void KTNode::enterTransitionFinished() {
    if (m_pChildren) {
        for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
            static_cast<KTNode*>(m_pChildren->objectAtIndex(i))->enterTransitionFinished();
        }
    }
    if (m_pCold->m_eScriptType == kKTScriptTypeObjects) {
        if (KTScriptEngine* engine = scriptEngine())
            engine->executeNodeEvent(this, kKTNodeOnEnterTransitionDidFinish);
    }
}

void KTNode::exit() {
    m_pCold->m_pScheduler->pauseTarget(this);
    m_pCold->m_pActionManager->pauseTarget(this);
    m_pCold->m_bRunning = false;
    if (m_pCold->m_eScriptType != kKTScriptTypeNone) {
        if (KTScriptEngine* engine = scriptEngine()) engine->executeNodeEvent(this, kKTNodeOnExit);
    }
    if (m_pChildren) {
        for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
            static_cast<KTNode*>(m_pChildren->objectAtIndex(i))->exit();
        }
    }
}

void KTNode::exitTransitionStarted() {
    if (m_pChildren) {
        for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
            static_cast<KTNode*>(m_pChildren->objectAtIndex(i))->exitTransitionStarted();
        }
    }
    if (m_pCold->m_eScriptType == kKTScriptTypeObjects) {
        if (KTScriptEngine* engine = scriptEngine())
            engine->executeNodeEvent(this, kKTNodeOnExitTransitionDidStart);
    }
}

void KTNode::cleanup() {
    m_pCold->m_pActionManager->removeAllActionsFromTarget(this);
    m_pCold->m_pScheduler->unscheduleAllForTarget(this);
    if (m_pCold->m_eScriptType != kKTScriptTypeNone) {
        if (KTScriptEngine* engine = scriptEngine()) engine->executeNodeEvent(this, kKTNodeOnCleanup);
    }
    if (m_pChildren) {
        for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
            static_cast<KTNode*>(m_pChildren->objectAtIndex(i))->cleanup();
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Drawing

void KTNode::draw() {}

namespace {

// A frame visits thousands of nodes that no longer sit in the cache, and each one's draw runs long enough
// for the next one's fields to arrive if asked for now.

// No test for null: a prefetch never faults, and with one GCC dropped the prefetches altogether.
inline void prefetchNode(const KTObject* node) {
    const auto* bytes = reinterpret_cast<const char*>(node);
    for (int offset = 0; offset < kKTNodeHotBytes; offset += 64) __builtin_prefetch(bytes + offset);
    __builtin_prefetch(bytes + kKTNodeHotBytes - 1);
}

}  // namespace

// A frame runs a leaf's visit and draw between two draw calls, and the driver's code in those calls pushes
// them out of the instruction cache every time: a leaf without grid or camera (most sprites) takes a short
// way of a few cache lines, everything else the full one.
void KTNode::visit() {
    if (!m_bVisible) return;
    if (m_pChildren || m_pGrid || m_pCamera) [[unlikely]] {
        visitTree();
        return;
    }
    const KTAffineTransform t = nodeToParentTransform();
    mxGLPushMultAffine(t.a, t.b, t.c, t.d, t.tx, t.ty, m_fVertexZ);
    draw();
    // Stored only when set: the store would dirty a cache line of every node of every frame, to be written
    // back for a zero it already holds.
    if (m_uOrderOfArrival) m_uOrderOfArrival = 0;
    mxGLPopMatrix();
}

[[gnu::noinline]] void KTNode::visitTree() {
    const bool gridActive = m_pGrid && m_pGrid->isActive();
    if (gridActive) {
        mxGLPushMatrix();
        m_pGrid->beforeDraw();
        transform();
    } else {
        // Push and transform in one: the product goes straight into the pushed matrix.
        const KTAffineTransform t = nodeToParentTransform();
        mxGLPushMultAffine(t.a, t.b, t.c, t.d, t.tx, t.ty, m_fVertexZ);
        if (m_pCamera) applyCamera();
    }
    if (m_pChildren && m_pChildren->count() > 0) {
        sortAllChildren();
        unsigned int i = 0;
        // Children below zero first, then this node, then the rest; the count is re-read each time.
        for (; i < m_pChildren->count(); ++i) {
            auto* child = static_cast<KTNode*>(m_pChildren->objectAtIndex(i));
            if (child && child->m_nZOrder < 0) {
                if (i + 1 < m_pChildren->count()) prefetchNode(m_pChildren->objectAtIndex(i + 1));
                child->visit();
            } else {
                break;
            }
        }
        draw();
        for (; i < m_pChildren->count(); ++i) {
            if (i + 1 < m_pChildren->count()) prefetchNode(m_pChildren->objectAtIndex(i + 1));
            auto* child = static_cast<KTNode*>(m_pChildren->objectAtIndex(i));
            if (child) child->visit();
        }
    } else {
        draw();
    }
    if (m_uOrderOfArrival) m_uOrderOfArrival = 0;
    if (gridActive && m_pGrid) m_pGrid->afterDraw(this);
    mxGLPopMatrix();
}

void KTNode::transformAncestors() {
    if (m_pParent) {
        m_pParent->transformAncestors();
        m_pParent->transform();
    }
}

void KTNode::transform() {
    const KTAffineTransform t = nodeToParentTransform();
    // The 4x4 form of t with the vertex Z as its Z translation, multiplied without its zeros.
    mxGLMultAffine(t.a, t.b, t.c, t.d, t.tx, t.ty, m_fVertexZ);
    applyCamera();
}

void KTNode::applyCamera() {
    if (m_pCamera && !(m_pGrid && m_pGrid->isActive())) {
        const KTPoint& ap = m_obAnchorPointInPoints;
        if (ap.x == 0.0f && ap.y == 0.0f) {
            m_pCamera->locate();
        } else {
            mxGLTranslatef(ap.x, ap.y, 0.0f);
            m_pCamera->locate();
            mxGLTranslatef(-ap.x, -ap.y, 0.0f);
        }
    }
}

void KTNode::updateTransform() {
    if (!m_pChildren) return;
    for (unsigned int i = 0; i < m_pChildren->count(); ++i) {
        static_cast<KTNode*>(m_pChildren->objectAtIndex(i))->updateTransform();
    }
}

// The rebuild of a node that moves without rotation, skew or additional transform, the usual one, is kept
// to a few cache lines (see visit); the others are rebuildTransform's.
KTAffineTransform KTNode::nodeToParentTransform() {
    return ownNodeToParentTransform();
}

[[gnu::noinline]] KTAffineTransform KTNode::rebuildTransform() {
    if (m_fRotationX == 0.0f && m_fRotationY == 0.0f && m_fSkewX == 0.0f && m_fSkewY == 0.0f) {
        rebuildUnrotatedTransform();
        return finishTransform();
    }

    float x = m_obPosition.x;
    float y = m_obPosition.y;
    if (m_bIgnoreAnchorPointForPosition) {
        x += m_obAnchorPointInPoints.x;
        y += m_obAnchorPointInPoints.y;
    }

    float cx = 1, sx = 0, cy = 1, sy = 0;
    if (m_fRotationX != 0.0f || m_fRotationY != 0.0f) {
        float radiansX = -m_fRotationX * kDegreesToRadians;
        float radiansY = -m_fRotationY * kDegreesToRadians;
        sincosf(radiansX, &sx, &cx);
        // The usual case, setRotation: both angles are one, so is their sine and cosine.
        if (m_fRotationY == m_fRotationX) {
            sy = sx;
            cy = cx;
        } else {
            sincosf(radiansY, &sy, &cy);
        }
    }

    const bool needsSkewMatrix = m_fSkewX != 0.0f || m_fSkewY != 0.0f;
    const float ax = m_obAnchorPointInPoints.x;
    const float ay = m_obAnchorPointInPoints.y;
    // Without skew the anchor offset folds into the translation; with skew it is applied afterwards.
    if (!needsSkewMatrix && !m_obAnchorPointInPoints.equals(KTPointZero)) {
        x += sx * ay * m_fScaleY - cy * ax * m_fScaleX;
        y += -sy * ax * m_fScaleX - cx * ay * m_fScaleY;
    }

    m_sTransform = {cy * m_fScaleX, sy * m_fScaleX, -sx * m_fScaleY, cx * m_fScaleY, x, y};

    if (needsSkewMatrix) {
        KTAffineTransform skewMatrix = KTAffineTransformMake(
            1.0f, tanf(m_fSkewY * kDegreesToRadians), tanf(m_fSkewX * kDegreesToRadians), 1.0f, 0.0f, 0.0f);
        m_sTransform = KTAffineTransformConcat(skewMatrix, m_sTransform);
        if (!m_obAnchorPointInPoints.equals(KTPointZero)) {
            m_sTransform = KTAffineTransformTranslate(m_sTransform, -ax, -ay);
        }
    }

    return finishTransform();
}

KTAffineTransform KTNode::finishTransform() {
    if (m_bAdditionalTransformDirty) {
        m_sTransform = KTAffineTransformConcat(m_sTransform, m_pCold->m_sAdditionalTransform);
        m_bAdditionalTransformDirty = false;
    }
    m_bTransformDirty = false;
    return m_sTransform;
}

KTAffineTransform KTNode::parentToNodeTransform() {
    if (m_bInverseDirty) {
        m_pCold->m_sInverse = KTAffineTransformInvert(nodeToParentTransform());
        m_bInverseDirty = false;
    }
    return m_pCold->m_sInverse;
}

KTAffineTransform KTNode::nodeToWorldTransform() {
    KTAffineTransform t = nodeToParentTransform();
    for (KTNode* p = m_pParent; p; p = p->getParent()) {
        t = KTAffineTransformConcat(t, p->nodeToParentTransform());
    }
    return t;
}

KTAffineTransform KTNode::worldToNodeTransform() {
    return KTAffineTransformInvert(nodeToWorldTransform());
}

KTPoint KTNode::convertToWorldSpace(const KTPoint& nodePoint) {
    return KTPointApplyAffineTransform(nodePoint, nodeToWorldTransform());
}

KTPoint KTNode::convertToNodeSpace(const KTPoint& worldPoint) {
    return KTPointApplyAffineTransform(worldPoint, worldToNodeTransform());
}

KTPoint KTNode::convertTouchToNodeSpace(KTTouch* touch) {
    if (!touch) return KTPointZero;
    return convertToNodeSpace(touch->getLocation());
}

// ---------------------------------------------------------------------------------------------------------
// Scheduler, actions, components

void KTNode::setActionManager(KTActionManager* actionManager) {
    if (actionManager == m_pCold->m_pActionManager) return;
    stopAllActions();
    KT_SAFE_RETAIN(actionManager);
    KT_SAFE_RELEASE(m_pCold->m_pActionManager);
    m_pCold->m_pActionManager = actionManager;
}

KTActionManager* KTNode::getActionManager() {
    return m_pCold->m_pActionManager;
}

void KTNode::setScheduler(KTScheduler* scheduler) {
    if (scheduler == m_pCold->m_pScheduler) return;
    if (m_pCold->m_pScheduler) m_pCold->m_pScheduler->unscheduleAllForTarget(this);
    KT_SAFE_RETAIN(scheduler);
    KT_SAFE_RELEASE(m_pCold->m_pScheduler);
    m_pCold->m_pScheduler = scheduler;
}

KTScheduler* KTNode::getScheduler() {
    return m_pCold->m_pScheduler;
}

KTAction* KTNode::runAction(KTAction* action) {
    KTAssert(action != nullptr, "Argument must be non-nil");
    m_pCold->m_pActionManager->addAction(action, this, !m_pCold->m_bRunning);
    return action;
}

void KTNode::stopAllActions() {
    if (m_pCold->m_pActionManager) m_pCold->m_pActionManager->removeAllActionsFromTarget(this);
}

void KTNode::scheduleUpdate() {
    m_pCold->m_pScheduler->scheduleUpdateForTarget(this, 0, !m_pCold->m_bRunning);
}

void KTNode::unscheduleUpdate() {
    m_pCold->m_pScheduler->unscheduleUpdateForTarget(this);
    if (m_pCold->m_nUpdateScriptHandler) {
        if (KTScriptEngine* engine = scriptEngine())
            engine->removeScriptHandler(m_pCold->m_nUpdateScriptHandler);
        m_pCold->m_nUpdateScriptHandler = 0;
    }
}

void KTNode::schedule(SEL_SCHEDULE selector, float interval, unsigned int repeat, float delay) {
    m_pCold->m_pScheduler->scheduleSelector(selector, this, interval, repeat, delay, !m_pCold->m_bRunning);
}

void KTNode::schedule(SEL_SCHEDULE selector, float interval) {
    schedule(selector, interval, kKTRepeatForever, 0.0f);
}

void KTNode::scheduleOnce(SEL_SCHEDULE selector, float delay) {
    schedule(selector, 0.0f, 0, delay);
}

void KTNode::unschedule(SEL_SCHEDULE selector) {
    m_pCold->m_pScheduler->unscheduleSelector(selector, this);
}

void KTNode::update(float dt) {
    if (m_pCold->m_nUpdateScriptHandler) {
        if (KTScriptEngine* engine = scriptEngine())
            engine->executeScheduledHandler(m_pCold->m_nUpdateScriptHandler, dt, this);
    }
    if (m_pCold->m_pComponentContainer && !m_pCold->m_pComponentContainer->isEmpty())
        m_pCold->m_pComponentContainer->visit(dt);
}

bool KTNode::addComponent(KTComponent* component) {
    return m_pCold->m_pComponentContainer->add(component);
}

bool KTNode::removeComponent(const char* name) {
    return m_pCold->m_pComponentContainer->remove(name);
}

void KTNode::removeAllComponents() {
    m_pCold->m_pComponentContainer->removeAll();
}

KTComponent* KTNode::getComponent(const char* name) const {
    return m_pCold->m_pComponentContainer->get(name);
}

}  // namespace kite
