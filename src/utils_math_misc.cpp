// The engine's random generator and small float, vector and rectangle helpers.
#include "utils_math_misc.h"

#include <cmath>
#include <ctime>
#include <unistd.h>

using namespace irr;

namespace {

uint32_t RandomState = 0;
bool IsRandomSeeded = false;

constexpr f64 Pi = 3.14159265358979323846;
constexpr f32 SignEpsilon = 0.000001f;
constexpr f32 MinNormalLength = 0.0001f;

f64 wrapDegrees(f64 deg)
{
    if (deg < 0)
        deg += 360.0;
    else if (deg >= 360.0)
        deg -= 360.0;
    return deg;
}

}  // namespace

void SetRandomSeed(uint32_t seed)
{
    RandomState = seed;
    if (seed == 0)
        IsRandomSeeded = false;
}

uint32_t GetRandomSeed() { return RandomState; }

int RandomNextFrom(uint32_t* state)
{
    *state = *state * 214013u + 2531011u;
    return int((*state >> 16) & 0x7FFF);
}

int RandomNext() { return RandomNextFrom(&RandomState); }

int Random()
{
    if (!IsRandomSeeded) {
        IsRandomSeeded = true;
        uint32_t now = uint32_t(uint64_t(std::time(nullptr)));
        RandomState = now - 7u * uint32_t(gettid());
    }
    return RandomNext();
}

f32 RandomFloat(f32 a, f32 b)
{
    f32 lo = a < b ? a : b;
    f32 hi = a < b ? b : a;
    return lo + (f32(Random()) / 32768.0f) * (hi - lo);
}

int RandomInt(int a, int b)
{
    int span = int(uint32_t(b) - uint32_t(a));   // 32-bit wrap, as the original arithmetic
    f64 value = f64(a) + (f64(Random()) / 32768.0) * f64(span);
    if (value <= -2147483648.0)
        return INT32_MIN;
    if (value >= 2147483647.0)
        return INT32_MAX;
    return int(value);
}

f32 GetSign(f32 x)
{
    if (std::fabs(x) < SignEpsilon)
        return 0.0f;
    return x >= 0 ? 1.0f : -1.0f;
}

f32 AbsF(f32 x) { return std::fabs(x); }

f32 MapRange(f32 x, f32 inMin, f32 inMax, f32 outMin, f32 outMax)
{
    if (inMax == inMin)
        return outMin;
    return (outMax - outMin) * (x - inMin) / (inMax - inMin) + outMin;
}

int FloatToInt(f32 x)
{
    // Out of range and NaN are undefined for a plain cast.
    if (!(x > -2147483648.0f))
        return x != x ? 0 : INT32_MIN;
    if (x >= 2147483648.0f)
        return INT32_MAX;
    return int(x);
}

f32 VectorLength(f32 x, f32 y, f32 z) { return std::sqrt(x * x + y * y + z * z); }

void NormalizeVector(f32& x, f32& y, f32& z)
{
    f32 length = VectorLength(x, y, z);
    if (length < MinNormalLength)
        return;
    f32 scale = 1.0f / length;
    x *= scale;
    y *= scale;
    z *= scale;
}

void NormalizeVector(core::vector3df& v) { NormalizeVector(v.X, v.Y, v.Z); }

void RotateVectorZ(core::vector3df& v, f32 angleRad)
{
    f32 c = std::cos(angleRad);
    f32 s = std::sin(angleRad);
    f32 x = v.X * c - v.Y * s;
    f32 y = v.X * s + v.Y * c;
    v.X = x;
    v.Y = y;
}

void LerpRectX(f32& out, f32 t, const core::rect<f32>& r)
{
    out = (1.0f - t) * r.UpperLeftCorner.X + t * r.LowerRightCorner.X;
}

void LerpRectY(f32& out, f32 t, const core::rect<f32>& r)
{
    out = (1.0f - t) * r.UpperLeftCorner.Y + t * r.LowerRightCorner.Y;
}

void LerpInRect(core::vector2df& out, f32 tx, f32 ty, const core::rect<f32>& r)
{
    LerpRectX(out.X, tx, r);
    LerpRectY(out.Y, ty, r);
}

core::vector3df HorizontalAngle(const core::vector3df& v)
{
    f64 x = v.X, y = v.Y;
    f64 second = wrapDegrees(std::atan2(x, y) * 180.0 / Pi);
    f64 first = wrapDegrees(std::atan2(std::sqrt(x * x + y * y), y) * 180.0 / Pi - 90.0);
    return core::vector3df(f32(first), f32(second), 0.0f);
}

f32 DirectionToRotation(const core::vector3df& direction, f32 offsetDeg)
{
    f32 angle = HorizontalAngle(direction).Y;
    return f32((f64(offsetDeg) + 90.0 - angle) * Pi / 180.0);
}

int UnitToByte(f32 x)
{
    f32 scaled = x * 255.0f;
    if (!(scaled > 0.0f))
        return 0;   // also NaN
    if (scaled >= 255.0f)
        return 255;
    return int(scaled);
}
