// Type words and constants of the public header: saved data depends on these numbers.
#include <squirrel.h>

#include <gtest/gtest.h>

namespace {

struct TypeWord { SQObjectType type; uint32_t value; };

TEST(SquirrelHeader, TypeWordsAreBitExact)
{
    const TypeWord words[] = {
        {OT_NULL, 16777217u},        {OT_INTEGER, 83886082u},    {OT_FLOAT, 83886084u},
        {OT_BOOL, 16777224u},        {OT_STRING, 134217744u},    {OT_TABLE, 167772192u},
        {OT_ARRAY, 134217792u},      {OT_USERDATA, 167772288u},  {OT_CLOSURE, 134217984u},
        {OT_NATIVECLOSURE, 134218240u}, {OT_GENERATOR, 134218752u}, {OT_USERPOINTER, 2048u},
        {OT_THREAD, 134221824u},     {OT_FUNCPROTO, 134225920u}, {OT_CLASS, 134234112u},
        {OT_INSTANCE, 167804928u},   {OT_WEAKREF, 134283264u},
    };
    for (const TypeWord& w : words)
        EXPECT_EQ(static_cast<uint32_t>(w.type), w.value);
}

TEST(SquirrelHeader, ScalarTypesAndConstants)
{
    static_assert(sizeof(SQInteger) == 4, "script integers are 32-bit");
    static_assert(sizeof(SQFloat) == 4, "script floats are single precision");
    static_assert(sizeof(SQChar) == 1, "8-bit strings");
    EXPECT_EQ(SQ_MATCHTYPEMASKSTRING, -99999);
    EXPECT_EQ(SQ_SUSPEND_FLAG, -666);
    EXPECT_EQ(SQ_BYTECODE_STREAM_TAG, 0xFAFA);
    EXPECT_TRUE(SQ_SUCCEEDED(SQ_OK));
    EXPECT_TRUE(SQ_FAILED(SQ_ERROR));
    HSQOBJECT o;
    o._type = OT_INTEGER;
    EXPECT_TRUE(sq_isnumeric(o));
    o._type = OT_FLOAT;
    EXPECT_TRUE(sq_isnumeric(o));
    o._type = OT_BOOL;
    EXPECT_FALSE(sq_isnumeric(o));
    EXPECT_TRUE(ISREFCOUNTED(OT_STRING));
    EXPECT_FALSE(ISREFCOUNTED(OT_USERPOINTER));
}

} // namespace
