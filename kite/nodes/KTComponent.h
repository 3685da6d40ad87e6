#pragma once
// Named per-node behaviours. Each node owns a container; a component gets the node's per-frame update
// while it is in the container.
#include <string>

#include "kite/base/KTObject.h"

namespace kite {

class KTNode;
class KTDictionary;

class KTComponent : public KTObject {
  public:
    KTComponent();
    ~KTComponent() override;

    static KTComponent* create(const char* name);
    virtual bool init(const char* name);

    virtual void onEnter();
    virtual void onExit();

    const char* getName() const { return m_strName.c_str(); }
    void setName(const char* name) { m_strName = name ? name : ""; }
    KTNode* getOwner() const { return m_pOwner; }
    void setOwner(KTNode* owner) { m_pOwner = owner; }

  protected:
    KTNode* m_pOwner = nullptr;  // not retained
    std::string m_strName;
};

class KTComponentContainer {
  public:
    explicit KTComponentContainer(KTNode* owner);
    virtual ~KTComponentContainer();

    // Null for a null name, before the first add, or when nothing is stored under the name.
    virtual KTComponent* get(const char* name) const;
    // False when a component of that name is already present.
    virtual bool add(KTComponent* component);
    virtual bool remove(const char* name);
    virtual void removeAll();
    virtual void visit(float dt);

    bool isEmpty() const;

  private:
    KTDictionary* m_pComponents = nullptr;  // retained, string keys
    KTNode* m_pOwner;                       // not retained
};

}  // namespace kite
