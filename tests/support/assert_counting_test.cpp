#include "assert_counting_test.h"

namespace {

int g_assertCount = 0;
void countAssert(const char*, int, const char*) { ++g_assertCount; }

} // namespace

int AssertCountingTest::assertCount()
{
    return g_assertCount;
}

void AssertCountingTest::SetUp()
{
    g_assertCount = 0;
    m_previous = SetAssertHook(countAssert);
}

void AssertCountingTest::TearDown()
{
    SetAssertHook(m_previous);
}
