#pragma once
// Immediate-mode points in one solid colour and point size, drawn with the built-in position/uniform-colour
// program. The module keeps its colour and point size across frames until they are changed. GL thread only.
#include <GLES2/gl2.h>

#include "kite/base/KTGeometry.h"

namespace kite {

// Takes the program on first use; later calls do nothing until ktDrawFree.
void ktDrawInit();
// Releases the program; the next draw takes it again.
void ktDrawFree();

// Colour of later draws, each byte / 255. Opaque white until first set.
void ktDrawColor4B(GLubyte r, GLubyte g, GLubyte b, GLubyte a);
// In points; drawn size is size × the director's content scale factor. 1 until first set.
void ktPointSize(GLfloat pointSize);

void ktDrawPoint(const KTPoint& point);
// points holds count points; a count of 0 still issues (and counts) the draw.
void ktDrawPoints(const KTPoint* points, unsigned int numberOfPoints);

}  // namespace kite
