#pragma once
// Runs every action of every node. An action's step may add or remove actions of any target, its own
// included: the running action and target entry are kept alive and freed once the step is over.
#include "kite/base/KTObject.h"

namespace kite {

class KTAction;
class KTNode;
struct KTActionHashEntry;

class KTActionManager : public KTObject {
  public:
    KTActionManager();
    ~KTActionManager() override;

    // Starts the action on the target. A target that already has actions keeps its paused state.
    void addAction(KTAction* action, KTNode* target, bool paused);
    // Removes without calling stop.
    void removeAllActionsFromTarget(KTObject* target);
    void removeAction(KTAction* action);
    void removeAllActions();

    void pauseTarget(KTObject* target);
    void resumeTarget(KTObject* target);

    void update(float dt) override;

  private:
    void removeActionAtIndex(unsigned int index, KTActionHashEntry* element);
    void deleteHashElement(KTActionHashEntry* element);

    KTActionHashEntry* m_pTargets = nullptr;
    KTActionHashEntry* m_pCurrentTarget = nullptr;
    bool m_bCurrentTargetSalvaged = false;
};

}  // namespace kite
