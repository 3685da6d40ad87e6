#pragma once
// The grid-effect hooks a node consults while it draws: a grid renders the node and its children into a
// texture through a grabber's framebuffer, then draws that texture. No grid effect is made in this engine,
// so a node's grid stays null; the hooks keep the node's drawing path whole.
#include <GLES2/gl2.h>

#include "kite/base/KTObject.h"
#include "kite/core/KTDirector.h"

namespace kite {

class KTNode;
class KTTexture2D;

// Redirects drawing into its own framebuffer and puts the previous framebuffer and clear colour back after.
class KTGrabber : public KTObject {
  public:
    KTGrabber();
    ~KTGrabber() override;

    void beforeRender(KTTexture2D* texture);
    void afterRender(KTTexture2D* texture);

    GLuint getFBO() const { return m_FBO; }

  private:
    GLuint m_FBO = 0;
    GLint m_oldFBO = 0;
    GLfloat m_oldClearColor[4] = {0, 0, 0, 0};
};

class KTGridBase : public KTObject {
  public:
    KTGridBase();
    ~KTGridBase() override;

    bool isActive() const { return m_bActive; }
    void setActive(bool active) { m_bActive = active; }
    KTTexture2D* getTexture() const { return m_pTexture; }
    KTGrabber* getGrabber() const { return m_pGrabber; }

    // Pixel-exact orthographic projection over the whole window, identity model-view.
    void set2DProjection();
    void beforeDraw();
    void afterDraw(KTNode* target);
    // Draws the grabbed texture; a concrete grid effect supplies the vertices.
    virtual void blit() {}

  protected:
    bool m_bActive = false;
    KTTexture2D* m_pTexture = nullptr;
    KTGrabber* m_pGrabber = nullptr;
    ktDirectorProjection m_directorProjection = kKTDirectorProjectionDefault;
};

}  // namespace kite
