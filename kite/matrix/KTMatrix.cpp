#include "kite/matrix/KTMatrix.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "kite/base/KTMacros.h"

namespace kite {

namespace {

inline float& at(mxMat4* m, int row, int column) {
    return m->mat[row + 4 * column];
}

void swapRows(mxMat4* m, int r1, int r2) {
    for (int c = 0; c < 4; ++c) std::swap(at(m, r1, c), at(m, r2, c));
}

void swapColumns(mxMat4* m, int c1, int c2) {
    for (int r = 0; r < 4; ++r) std::swap(at(m, r, c1), at(m, r, c2));
}

}  // namespace

mxMat4* mxMat4Identity(mxMat4* out) {
    std::memset(out->mat, 0, sizeof(out->mat));
    out->mat[0] = out->mat[5] = out->mat[10] = out->mat[15] = 1.0f;
    return out;
}

mxMat4* mxMat4Assign(mxMat4* out, const mxMat4* in) {
    KTAssert(out != in, "You have tried to self-assign!!");
    std::memcpy(out->mat, in->mat, sizeof(out->mat));
    return out;
}

mxMat4* mxMat4Multiply(mxMat4* out, const mxMat4* a, const mxMat4* b) {
    float product[16];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a->mat[r + 4 * k] * b->mat[k + 4 * c];
            product[r + 4 * c] = sum;
        }
    }
    std::memcpy(out->mat, product, sizeof(product));
    return out;
}

bool mxGaussJordan(mxMat4* a, mxMat4* b) {
    int pivotCount[4] = {0, 0, 0, 0};
    int rowOf[4] = {0, 0, 0, 0};
    int columnOf[4] = {0, 0, 0, 0};
    int row = 0, column = 0;
    for (int step = 0; step < 4; ++step) {
        float big = 0.0f;
        for (int j = 0; j < 4; ++j) {
            if (pivotCount[j] == 1) continue;
            for (int k = 0; k < 4; ++k) {
                if (pivotCount[k] != 0) continue;
                if (std::fabs(at(a, j, k)) >= big) {
                    big = std::fabs(at(a, j, k));
                    row = j;
                    column = k;
                }
            }
        }
        ++pivotCount[column];
        if (row != column) {
            swapRows(a, row, column);
            swapRows(b, row, column);
        }
        rowOf[step] = row;
        columnOf[step] = column;
        if (at(a, column, column) == 0.0f) return false;
        const float pivotInverse = 1.0f / at(a, column, column);
        at(a, column, column) = 1.0f;
        for (int c = 0; c < 4; ++c) {
            at(a, column, c) *= pivotInverse;
            at(b, column, c) *= pivotInverse;
        }
        for (int l = 0; l < 4; ++l) {
            if (l == column) continue;
            const float factor = at(a, l, column);
            at(a, l, column) = 0.0f;
            for (int c = 0; c < 4; ++c) {
                at(a, l, c) -= at(a, column, c) * factor;
                at(b, l, c) -= at(b, column, c) * factor;
            }
        }
    }
    for (int step = 3; step >= 0; --step) {
        if (rowOf[step] != columnOf[step]) swapColumns(a, rowOf[step], columnOf[step]);
    }
    return true;
}

mxMat4* mxMat4Inverse(mxMat4* out, const mxMat4* m) {
    mxMat4 work;
    mxMat4 identity;
    mxMat4Assign(&work, m);
    mxMat4Identity(&identity);
    if (!mxGaussJordan(&work, &identity)) return nullptr;
    mxMat4Assign(out, &work);
    return out;
}

mxMat4* mxMat4Translation(mxMat4* out, float x, float y, float z) {
    mxMat4Identity(out);
    out->mat[12] = x;
    out->mat[13] = y;
    out->mat[14] = z;
    return out;
}

mxMat4* mxMat4PerspectiveProjection(mxMat4* out, float fovY, float aspect, float zNear, float zFar) {
    const float r = mxDegreesToRadians(fovY / 2);
    const float depth = zFar - zNear;
    const float s = std::sin(r);
    if (depth == 0.0f || s == 0.0f || aspect == 0.0f) return nullptr;
    const float cotangent = std::cos(r) / s;
    std::memset(out->mat, 0, sizeof(out->mat));
    out->mat[0] = cotangent / aspect;
    out->mat[5] = cotangent;
    out->mat[10] = -(zFar + zNear) / depth;
    out->mat[11] = -1.0f;
    out->mat[14] = -2.0f * zNear * zFar / depth;
    return out;
}

mxMat4* mxMat4OrthographicProjection(mxMat4* out, float left, float right, float bottom, float top,
                                     float nearVal, float farVal) {
    std::memset(out->mat, 0, sizeof(out->mat));
    out->mat[0] = 2.0f / (right - left);
    out->mat[5] = 2.0f / (top - bottom);
    out->mat[10] = -2.0f / (farVal - nearVal);
    out->mat[12] = -((right + left) / (right - left));
    out->mat[13] = -((top + bottom) / (top - bottom));
    out->mat[14] = -((farVal + nearVal) / (farVal - nearVal));
    out->mat[15] = 1.0f;
    return out;
}

mxMat4* mxMat4LookAt(mxMat4* out, const mxVec3* eye, const mxVec3* center, const mxVec3* up) {
    mxVec3 f, upNormal, s, u;
    mxVec3Subtract(&f, center, eye);
    mxVec3Normalize(&f, &f);
    mxVec3Assign(&upNormal, up);
    mxVec3Normalize(&upNormal, &upNormal);
    mxVec3Cross(&s, &f, &upNormal);
    mxVec3Normalize(&s, &s);
    mxVec3Cross(&u, &s, &f);
    mxMat4Identity(out);
    out->mat[0] = s.x;
    out->mat[4] = s.y;
    out->mat[8] = s.z;
    out->mat[1] = u.x;
    out->mat[5] = u.y;
    out->mat[9] = u.z;
    out->mat[2] = -f.x;
    out->mat[6] = -f.y;
    out->mat[10] = -f.z;
    mxMat4 translation;
    mxMat4Translation(&translation, -eye->x, -eye->y, -eye->z);
    return mxMat4Multiply(out, out, &translation);
}

float mxSQR(float f) {
    return f * f;
}

float mxDegreesToRadians(float degrees) {
    return degrees * 0.017453f;
}

mxVec3* mxVec3Fill(mxVec3* out, float x, float y, float z) {
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

mxVec4* mxVec4Fill(mxVec4* out, float x, float y, float z, float w) {
    out->x = x;
    out->y = y;
    out->z = z;
    out->w = w;
    return out;
}

float mxVec3Length(const mxVec3* v) {
    return std::sqrt(mxSQR(v->x) + mxSQR(v->y) + mxSQR(v->z));
}

mxVec3* mxVec3Normalize(mxVec3* out, const mxVec3* v) {
    const float length = mxVec3Length(v);
    // A zero vector has no direction; keep it zero rather than fill the result with NaN.
    if (length == 0.0f) return mxVec3Fill(out, 0.0f, 0.0f, 0.0f);
    const float inverse = 1.0f / length;
    return mxVec3Fill(out, v->x * inverse, v->y * inverse, v->z * inverse);
}

mxVec3* mxVec3Cross(mxVec3* out, const mxVec3* a, const mxVec3* b) {
    const mxVec3 result = {a->y * b->z - a->z * b->y, a->z * b->x - b->z * a->x, b->y * a->x - a->y * b->x};
    *out = result;
    return out;
}

mxVec3* mxVec3Subtract(mxVec3* out, const mxVec3* a, const mxVec3* b) {
    return mxVec3Fill(out, a->x - b->x, a->y - b->y, a->z - b->z);
}

mxVec3* mxVec3Assign(mxVec3* out, const mxVec3* v) {
    if (out != v) *out = *v;
    return out;
}

mxVec4* mxVec4Transform(mxVec4* out, const mxVec4* v, const mxMat4* m) {
    const float in[4] = {v->x, v->y, v->z, v->w};
    float result[4];
    for (int r = 0; r < 4; ++r) {
        result[r] = 0.0f;
        for (int k = 0; k < 4; ++k) result[r] += in[k] * m->mat[r + 4 * k];
    }
    return mxVec4Fill(out, result[0], result[1], result[2], result[3]);
}

mxVec3* mxVec3TransformCoord(mxVec3* out, const mxVec3* v, const mxMat4* m) {
    const mxVec4 in = {v->x, v->y, v->z, 1.0f};
    mxVec4 result;
    mxVec4Transform(&result, &in, m);
    return mxVec3Fill(out, result.x / result.w, result.y / result.w, result.z / result.w);
}

}  // namespace kite
