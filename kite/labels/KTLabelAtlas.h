#pragma once
// A short text (typically digits) cut cell by cell out of a character map: a picture laid out as a grid of
// equal cells in character order. One quad per character in the atlas node's texture atlas, all drawn in
// one call. The atlas grows with longer texts and never shrinks.
#include <string>

#include "kite/labels/KTAtlasNode.h"
#include "kite/labels/KTLabelProtocol.h"

namespace kite {

class KTLabelAtlas : public KTAtlasNode, public KTLabelProtocol {
  public:
    KTLabelAtlas();
    ~KTLabelAtlas() override;

    // The map is loaded through the texture cache; null when it cannot be loaded.
    static KTLabelAtlas* create(const char* string, const char* charMapFile, unsigned int itemWidth,
                                unsigned int itemHeight, unsigned int startCharMap);
    bool initWithString(const char* string, KTTexture2D* texture, unsigned int itemWidth,
                        unsigned int itemHeight, unsigned int startCharMap);

    void updateAtlasValues() override;
    void setString(const char* label) override;
    const char* getString() override;

  protected:
    std::string m_sString;
    unsigned char m_uMapStartChar = 0;
};

}  // namespace kite
