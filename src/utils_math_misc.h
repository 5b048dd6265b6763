// The engine's random generator and small float, vector and rectangle helpers.
#pragma once

#include <irrTypes.h>
#include <rect.h>
#include <vector2d.h>
#include <vector3d.h>

#include <cstdint>

// One shared generator: state = state * 214013 + 2531011, draw = (state >> 16) & 0x7FFF.
// A seed of 0 makes the next Random() seed itself from the clock and thread id.
void SetRandomSeed(uint32_t seed);
uint32_t GetRandomSeed();
int RandomNext();
int RandomNextFrom(uint32_t* state);   // a caller-owned generator
int Random();                          // seeds itself on first use, then RandomNext()

// lo + Random() / 32768 * (hi - lo), the bounds in either order; hi is never reached.
irr::f32 RandomFloat(irr::f32 a, irr::f32 b);
// a + Random() / 32768 * (b - a), truncated toward zero.
int RandomInt(int a, int b);

irr::f32 GetSign(irr::f32 x);   // 0 within 1e-6 of zero
irr::f32 AbsF(irr::f32 x);
// Linear map without clamping; an empty input range gives outMin.
irr::f32 MapRange(irr::f32 x, irr::f32 inMin, irr::f32 inMax, irr::f32 outMin, irr::f32 outMax);
int FloatToInt(irr::f32 x);

irr::f32 VectorLength(irr::f32 x, irr::f32 y, irr::f32 z);
// Leaves vectors shorter than 0.0001 unchanged.
void NormalizeVector(irr::f32& x, irr::f32& y, irr::f32& z);
void NormalizeVector(irr::core::vector3df& v);
void RotateVectorZ(irr::core::vector3df& v, irr::f32 angleRad);

void LerpRectX(irr::f32& out, irr::f32 t, const irr::core::rect<irr::f32>& r);
void LerpRectY(irr::f32& out, irr::f32 t, const irr::core::rect<irr::f32>& r);
void LerpInRect(irr::core::vector2df& out, irr::f32 tx, irr::f32 ty, const irr::core::rect<irr::f32>& r);

// Degrees in 0..360: X the elevation from the Y axis minus 90, Y the angle of (X, Y) from the Y axis, Z 0.
irr::core::vector3df HorizontalAngle(const irr::core::vector3df& v);
// (offsetDeg + 90 - HorizontalAngle(direction).Y) in radians.
irr::f32 DirectionToRotation(const irr::core::vector3df& direction, irr::f32 offsetDeg);

int UnitToByte(irr::f32 x);   // x * 255 truncated, clamped to 0..255
