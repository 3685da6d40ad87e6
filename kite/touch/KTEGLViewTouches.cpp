// The GL view's touch slots: platform touches become KTTouch objects with a slot number (0-4) as their id
// and a point in design coordinates, handed in sets to the view's touch delegate.
#include "kite/base/KTDictionary.h"
#include "kite/base/KTSet.h"
#include "kite/base/KTValues.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/touch/KTTouch.h"
#include "kite/touch/KTTouchDelegateProtocol.h"

namespace kite {

namespace {

constexpr int kMaxTouches = 5;

struct TouchSlots {
    unsigned int indexBitsUsed = 0;
    KTTouch* touches[kMaxTouches] = {};
    KTDictionary* touchIdReorderMap = nullptr;

    KTDictionary* map() {
        if (!touchIdReorderMap) touchIdReorderMap = new KTDictionary();
        return touchIdReorderMap;
    }

    int unusedIndex() {
        for (int i = 0; i < kMaxTouches; ++i)
            if (!(indexBitsUsed & (1u << i))) {
                indexBitsUsed |= 1u << i;
                return i;
            }
        return -1;
    }

    void removeUsedIndexBit(int index) {
        if (index < 0 || index >= kMaxTouches) return;
        indexBitsUsed &= ~(1u << index);
    }

    // The slot of a tracked platform identity, or -1.
    int slotOf(intptr_t identity) {
        auto* index = static_cast<KTInteger*>(map()->objectForKey(static_cast<int64_t>(identity)));
        return index ? index->getValue() : -1;
    }
};

TouchSlots& slots() {
    static TouchSlots s;
    return s;
}

KTPoint toDesign(const KTEGLViewProtocol& view, float x, float y) {
    const KTRect& viewport = view.getViewPortRect();
    return KTPoint((x - viewport.origin.x) / view.getScaleX(), (y - viewport.origin.y) / view.getScaleY());
}

bool validArrays(int num, const intptr_t ids[], const float xs[], const float ys[]) {
    return num > 0 && ids && xs && ys;
}

// Collects the touches that end or are cancelled and frees their slots. A tracked identity whose slot is
// empty stops the collection; what was collected is still delivered.
KTSet* collectEndingTouches(const KTEGLViewProtocol& view, int num, const intptr_t ids[], const float xs[],
                            const float ys[]) {
    KTSet* set = new KTSet();
    if (!validArrays(num, ids, xs, ys)) return set;
    TouchSlots& s = slots();
    for (int i = 0; i < num; ++i) {
        const int index = s.slotOf(ids[i]);
        if (index < 0) continue;
        KTTouch* touch = index < kMaxTouches ? s.touches[index] : nullptr;
        if (!touch) break;
        const KTPoint point = toDesign(view, xs[i], ys[i]);
        touch->setTouchInfo(index, point.x, point.y);
        set->addObject(touch);
        touch->release();
        s.touches[index] = nullptr;
        s.removeUsedIndexBit(index);
        s.map()->removeObjectForKey(static_cast<int64_t>(ids[i]));
    }
    return set;
}

}  // namespace

void KTEGLViewProtocol::forgetAllTouches() {
    TouchSlots& s = slots();
    for (KTTouch*& touch : s.touches) KT_SAFE_RELEASE_NULL(touch);
    s.indexBitsUsed = 0;
    KT_SAFE_RELEASE_NULL(s.touchIdReorderMap);
}

void KTEGLViewProtocol::handleTouchesBegin(int num, const intptr_t ids[], const float xs[],
                                           const float ys[]) {
    if (!validArrays(num, ids, xs, ys)) return;
    TouchSlots& s = slots();
    KTSet* set = new KTSet();
    for (int i = 0; i < num; ++i) {
        if (s.slotOf(ids[i]) >= 0) continue;
        const int index = s.unusedIndex();
        // All five slots are taken: this finger is never delivered.
        if (index < 0) continue;
        auto* touch = new KTTouch();
        s.touches[index] = touch;
        const KTPoint point = toDesign(*this, xs[i], ys[i]);
        touch->setTouchInfo(index, point.x, point.y);
        auto* boxed = new KTInteger(index);
        s.map()->setObject(boxed, static_cast<int64_t>(ids[i]));
        boxed->release();
        set->addObject(touch);
    }
    if (set->count() > 0 && m_pTouchDelegate) m_pTouchDelegate->touchesBegan(set, nullptr);
    set->release();
}

void KTEGLViewProtocol::handleTouchesMove(int num, const intptr_t ids[], const float xs[], const float ys[]) {
    if (!validArrays(num, ids, xs, ys)) return;
    TouchSlots& s = slots();
    KTSet* set = new KTSet();
    for (int i = 0; i < num; ++i) {
        const int index = s.slotOf(ids[i]);
        if (index < 0) continue;
        KTTouch* touch = index < kMaxTouches ? s.touches[index] : nullptr;
        if (!touch) {
            // The slot table and the identity map disagree: deliver nothing for this call.
            set->release();
            return;
        }
        const KTPoint point = toDesign(*this, xs[i], ys[i]);
        touch->setTouchInfo(index, point.x, point.y);
        set->addObject(touch);
    }
    if (set->count() > 0 && m_pTouchDelegate) m_pTouchDelegate->touchesMoved(set, nullptr);
    set->release();
}

void KTEGLViewProtocol::handleTouchesEnd(int num, const intptr_t ids[], const float xs[], const float ys[]) {
    KTSet* set = collectEndingTouches(*this, num, ids, xs, ys);
    if (m_pTouchDelegate) m_pTouchDelegate->touchesEnded(set, nullptr);
    set->release();
}

void KTEGLViewProtocol::handleTouchesCancel(int num, const intptr_t ids[], const float xs[],
                                            const float ys[]) {
    KTSet* set = collectEndingTouches(*this, num, ids, xs, ys);
    if (m_pTouchDelegate) m_pTouchDelegate->touchesCancelled(set, nullptr);
    set->release();
}

}  // namespace kite
