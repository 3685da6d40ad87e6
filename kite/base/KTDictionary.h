#pragma once
// A hashed dictionary of engine objects with string or integer keys, iterated in insertion order. The first
// insertion fixes the key kind for the dictionary's life. The dictionary retains its values.
#include <uthash.h>

#include <cstdint>
#include <string>

#include "kite/base/KTObject.h"

namespace kite {

class KTDictionary;

class KTDictionaryEntry {
  public:
    // Empty for integer entries.
    const std::string& getStrKey() const { return m_sKey; }
    // 0 for string entries.
    int64_t getIntKey() const { return m_nKey; }
    KTObject* getObject() const { return m_pObject; }
    // The entry after this one in insertion order, or null.
    KTDictionaryEntry* next() const { return static_cast<KTDictionaryEntry*>(hh.next); }

  private:
    friend class KTDictionary;
    KTDictionaryEntry(const std::string& key, KTObject* obj) : m_sKey(key), m_pObject(obj) {}
    KTDictionaryEntry(int64_t key, KTObject* obj) : m_nKey(key), m_pObject(obj) {}

    std::string m_sKey;
    int64_t m_nKey = 0;
    KTObject* m_pObject;

  public:
    UT_hash_handle hh;
};

class KTDictionary : public KTObject {
  public:
    enum KeyKind { kKeyKindNone = 0, kKeyKindString = 1, kKeyKindInt = 2 };

    // Walks entries in insertion order. The entry being visited may be removed during the walk.
    class Iterator {
      public:
        explicit Iterator(KTDictionaryEntry* e) : m_pCur(e), m_pNext(e ? e->next() : nullptr) {}
        KTDictionaryEntry* operator*() const { return m_pCur; }
        Iterator& operator++() {
            m_pCur = m_pNext;
            m_pNext = m_pCur ? m_pCur->next() : nullptr;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return m_pCur != o.m_pCur; }

      private:
        KTDictionaryEntry* m_pCur;
        KTDictionaryEntry* m_pNext;
    };

    KTDictionary() = default;
    ~KTDictionary() override;

    static KTDictionary* create();
    // A dictionary read from a property-list file through the file utilities (kite/files): the first form
    // returns it owned by the caller, the second autoreleased; null when the file cannot be read.
    static KTDictionary* createWithContentsOfFileThreadSafe(const char* pFileName);
    static KTDictionary* createWithContentsOfFile(const char* pFileName);

    // Replacing a key's value moves the key to the end of the iteration order.
    void setObject(KTObject* obj, const std::string& key);
    void setObject(KTObject* obj, int64_t key);
    // Null when absent or when the key is of the other kind.
    KTObject* objectForKey(const std::string& key) const;
    KTObject* objectForKey(int64_t key) const;
    void removeObjectForKey(const std::string& key);
    void removeObjectForKey(int64_t key);
    // Keeps the key kind.
    void removeAllObjects();
    uint32_t count() const;
    KeyKind getKeyKind() const { return m_eKeyKind; }

    Iterator begin() const { return Iterator(m_pElements); }
    Iterator end() const { return Iterator(nullptr); }
    KTDictionaryEntry* firstEntry() const { return m_pElements; }

    KTObject* copyWithZone(KTZone* zone) override;
    void acceptVisitor(KTDataVisitor& visitor) override;

  private:
    bool acceptKind(KeyKind kind);
    void addEntry(KTDictionaryEntry* entry);
    void removeEntry(KTDictionaryEntry* entry);
    KTDictionaryEntry* find(const std::string& key) const;
    KTDictionaryEntry* find(int64_t key) const;

    KTDictionaryEntry* m_pElements = nullptr;
    KeyKind m_eKeyKind = kKeyKindNone;
};

}  // namespace kite
