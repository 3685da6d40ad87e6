#pragma once
// Float matrix and vector math for the engine's transforms. Matrices are column-major: the element of
// row r and column c is mat[r + 4c], so the translation sits at 12, 13, 14. Every operation writes its
// result through its first argument and returns it.

namespace kite {

struct mxMat4 {
    float mat[16];
};

struct mxVec3 {
    float x, y, z;
};

struct mxVec4 {
    float x, y, z, w;
};

mxMat4* mxMat4Identity(mxMat4* out);
mxMat4* mxMat4Assign(mxMat4* out, const mxMat4* in);
// a × b; out may be a or b.
mxMat4* mxMat4Multiply(mxMat4* out, const mxMat4* a, const mxMat4* b);
// Null, with out untouched, when m is singular.
mxMat4* mxMat4Inverse(mxMat4* out, const mxMat4* m);
mxMat4* mxMat4Translation(mxMat4* out, float x, float y, float z);
// Null, with out untouched, when the field of view, aspect or depth range is zero.
mxMat4* mxMat4PerspectiveProjection(mxMat4* out, float fovY, float aspect, float zNear, float zFar);
mxMat4* mxMat4OrthographicProjection(mxMat4* out, float left, float right, float bottom, float top,
                                     float nearVal, float farVal);
mxMat4* mxMat4LookAt(mxMat4* out, const mxVec3* eye, const mxVec3* center, const mxVec3* up);

// Gauss-Jordan elimination with full pivoting: a becomes its inverse, b gets the same row operations.
bool mxGaussJordan(mxMat4* a, mxMat4* b);

float mxSQR(float f);
float mxDegreesToRadians(float degrees);

mxVec3* mxVec3Fill(mxVec3* out, float x, float y, float z);
mxVec4* mxVec4Fill(mxVec4* out, float x, float y, float z, float w);
float mxVec3Length(const mxVec3* v);
mxVec3* mxVec3Normalize(mxVec3* out, const mxVec3* v);
mxVec3* mxVec3Cross(mxVec3* out, const mxVec3* a, const mxVec3* b);
mxVec3* mxVec3Subtract(mxVec3* out, const mxVec3* a, const mxVec3* b);
mxVec3* mxVec3Assign(mxVec3* out, const mxVec3* v);
mxVec4* mxVec4Transform(mxVec4* out, const mxVec4* v, const mxMat4* m);
// (v, 1) transformed by m, then divided by w.
mxVec3* mxVec3TransformCoord(mxVec3* out, const mxVec3* v, const mxMat4* m);

}  // namespace kite
