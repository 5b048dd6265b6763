// Math library. Numbers come in as integers or floats; results are floats except abs and rand.
#include "sqstdmath.h"

#include "sqstdrand.h"
#include "sqstdreg.h"

#include <cmath>
#include <cstdint>

namespace {


SQFloat floatArg(HSQUIRRELVM v, SQInteger idx)
{
    SQFloat f = 0;
    sq_getfloat(v, idx, &f);
    return f;
}

template <double (*F)(double)>
SQInteger unaryMath(HSQUIRRELVM v)
{
    sq_pushfloat(v, SQFloat(F(double(floatArg(v, 2)))));
    return 1;
}

template <double (*F)(double, double)>
SQInteger binaryMath(HSQUIRRELVM v)
{
    sq_pushfloat(v, SQFloat(F(double(floatArg(v, 2)), double(floatArg(v, 3)))));
    return 1;
}

double mathSqrt(double x) { return std::sqrt(x); }
double mathSin(double x) { return std::sin(x); }
double mathCos(double x) { return std::cos(x); }
double mathTan(double x) { return std::tan(x); }
double mathAsin(double x) { return std::asin(x); }
double mathAcos(double x) { return std::acos(x); }
double mathAtan(double x) { return std::atan(x); }
double mathLog(double x) { return std::log(x); }
double mathLog10(double x) { return std::log10(x); }
double mathExp(double x) { return std::exp(x); }
double mathFloor(double x) { return std::floor(x); }
double mathCeil(double x) { return std::ceil(x); }
double mathFabs(double x) { return std::fabs(x); }
double mathAtan2(double y, double x) { return std::atan2(y, x); }
double mathPow(double x, double y) { return std::pow(x, y); }

// abs works on the value converted to an integer; abs of the smallest integer wraps to itself.
SQInteger math_abs(HSQUIRRELVM v)
{
    SQInteger n = 0;
    sq_getinteger(v, 2, &n);
    uint32_t magnitude = n < 0 ? 0u - uint32_t(n) : uint32_t(n);
    sq_pushinteger(v, SQInteger(magnitude));
    return 1;
}

SQInteger math_srand(HSQUIRRELVM v)
{
    SQInteger seed;
    if (SQ_FAILED(sq_getinteger(v, 2, &seed))) return sq_throwerror(v, "invalid param");
    sqstd::SeedRand(uint32_t(seed));
    return 0;
}

SQInteger math_rand(HSQUIRRELVM v)
{
    sq_pushinteger(v, sqstd::NextRand());
    return 1;
}

const SQRegFunction MathFunctions[] = {
    {"sqrt", unaryMath<mathSqrt>, 2, ".n"},
    {"sin", unaryMath<mathSin>, 2, ".n"},
    {"cos", unaryMath<mathCos>, 2, ".n"},
    {"asin", unaryMath<mathAsin>, 2, ".n"},
    {"acos", unaryMath<mathAcos>, 2, ".n"},
    {"log", unaryMath<mathLog>, 2, ".n"},
    {"log10", unaryMath<mathLog10>, 2, ".n"},
    {"tan", unaryMath<mathTan>, 2, ".n"},
    {"atan", unaryMath<mathAtan>, 2, ".n"},
    {"atan2", binaryMath<mathAtan2>, 3, ".nn"},
    {"pow", binaryMath<mathPow>, 3, ".nn"},
    {"floor", unaryMath<mathFloor>, 2, ".n"},
    {"ceil", unaryMath<mathCeil>, 2, ".n"},
    {"exp", unaryMath<mathExp>, 2, ".n"},
    {"srand", math_srand, 2, nullptr},
    {"rand", math_rand, 1, nullptr},
    {"fabs", unaryMath<mathFabs>, 2, ".n"},
    {"abs", math_abs, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

extern "C" {

SQRESULT sqstd_register_mathlib(HSQUIRRELVM v)
{
    sqstd::RegisterFunctions(v, MathFunctions);
    sq_pushstring(v, "RAND_MAX", -1);
    sq_pushinteger(v, SQSTD_RAND_MAX);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "PI", -1);
    sq_pushfloat(v, SQFloat(3.14159265358979323846));
    sq_newslot(v, -3, SQFalse);
    return SQ_OK;
}

}  // extern "C"
