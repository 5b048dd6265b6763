// A test fixture that counts failed assertions instead of reporting them.
#pragma once

#include "utils_assert.h"

#include <gtest/gtest.h>

class AssertCountingTest : public ::testing::Test {
public:
    // Assertions seen since this test started.
    static int assertCount();

protected:
    void SetUp() override;
    void TearDown() override;

private:
    AssertHook m_previous = nullptr;
};
