#include "kite/nodes/KTComponent.h"

#include "kite/base/KTDictionary.h"
#include "kite/base/KTMacros.h"
#include "kite/nodes/KTNode.h"

namespace kite {

KTComponent::KTComponent() = default;
KTComponent::~KTComponent() = default;

KTComponent* KTComponent::create(const char* name) {
    auto* component = new KTComponent();
    if (component->init(name)) return ktAutorelease(component);
    component->release();
    return nullptr;
}

bool KTComponent::init(const char* name) {
    setName(name);
    return true;
}

void KTComponent::onEnter() {}
void KTComponent::onExit() {}

KTComponentContainer::KTComponentContainer(KTNode* owner) : m_pOwner(owner) {}

KTComponentContainer::~KTComponentContainer() {
    KT_SAFE_RELEASE(m_pComponents);
}

KTComponent* KTComponentContainer::get(const char* name) const {
    if (!name || !m_pComponents) return nullptr;
    return dynamic_cast<KTComponent*>(m_pComponents->objectForKey(std::string(name)));
}

bool KTComponentContainer::add(KTComponent* component) {
    if (!component) return false;
    if (!m_pComponents) {
        m_pComponents = KTDictionary::create();
        m_pComponents->retain();
    }
    if (get(component->getName())) return false;
    // Also after removeAll: an owner whose container went empty was unscheduled and needs its update back.
    if (m_pComponents->count() == 0) m_pOwner->scheduleUpdate();
    component->setOwner(m_pOwner);
    m_pComponents->setObject(component, std::string(component->getName()));
    component->onEnter();
    return true;
}

bool KTComponentContainer::remove(const char* name) {
    KTComponent* component = get(name);
    if (!component) return false;
    component->onExit();
    component->setOwner(nullptr);
    m_pComponents->removeObjectForKey(std::string(name));
    return true;
}

void KTComponentContainer::removeAll() {
    if (!m_pComponents) return;
    // Each entry leaves the dictionary before its component hears onExit; keep the component alive for it.
    while (m_pComponents->count() > 0) {
        auto entry = m_pComponents->begin();
        KTDictionaryEntry* e = *entry;
        std::string key = e->getStrKey();
        KTObject* obj = e->getObject();
        obj->retain();
        m_pComponents->removeObjectForKey(key);
        if (auto* component = dynamic_cast<KTComponent*>(obj)) {
            component->onExit();
            component->setOwner(nullptr);
        }
        obj->release();
    }
    m_pOwner->unscheduleUpdate();
}

void KTComponentContainer::visit(float dt) {
    if (!m_pComponents) return;
    for (KTDictionaryEntry* e : *m_pComponents) {
        if (auto* component = dynamic_cast<KTComponent*>(e->getObject())) component->update(dt);
    }
}

bool KTComponentContainer::isEmpty() const {
    return !m_pComponents || m_pComponents->count() == 0;
}

}  // namespace kite
