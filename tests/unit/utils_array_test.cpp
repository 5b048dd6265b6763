// CArray: growth steps, zero-filled new elements, bounds, and real element moves.
#include "utils_array.h"

#include "utils_assert.h"

#include "assert_counting_test.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class CArrayTest : public AssertCountingTest {};

// How many elements fit before the block moves, starting from the current size.
template <class T>
int slotsBeforeMove(CArray<T>& a, const T& filler)
{
    const T* block = &a[0];
    int added = 0;
    for (;;) {
        a.Add(filler);
        if (&a[0] != block)
            return added;
        ++added;
    }
}

// A record that is not byte-relocatable: it points at its own buffer.
struct SelfPointing {
    char text[16] = "record";
    char* cursor = text;
    CString name;
    std::string longText;
    SelfPointing() = default;
    SelfPointing(const SelfPointing& o) : name(o.name), longText(o.longText)
    {
        std::memcpy(text, o.text, sizeof(text));
        cursor = text + (o.cursor - o.text);
    }
    SelfPointing& operator=(const SelfPointing& o)
    {
        name = o.name;
        longText = o.longText;
        std::memcpy(text, o.text, sizeof(text));
        cursor = text + (o.cursor - o.text);
        return *this;
    }
    static inline int live = 0;
};

struct Counted : SelfPointing {
    Counted() { ++live; }
    Counted(const Counted& o) : SelfPointing(o) { ++live; }
    Counted& operator=(const Counted&) = default;
    ~Counted() { --live; }
};

struct Plain {
    int number;
    void* pointer;
    double value;
};

} // namespace

TEST_F(CArrayTest, FirstBlockAndGrowthSteps)
{
    CArray<int> byStep;
    byStep.SetSize(0, 16);
    byStep.Add(1);
    EXPECT_EQ(slotsBeforeMove(byStep, 0), 15);   // 16 slots at once

    CArray<int> exact;
    exact.Add(1);
    EXPECT_EQ(slotsBeforeMove(exact, 0), 0);   // exactly one

    struct Case { int size; int step; };
    const Case cases[] = {{40, 5}, {8, 4}, {10000, 1024}, {3, 4}};
    for (const Case& c : cases) {
        CArray<void*> a;
        a.SetSize(c.size);
        // The first Add moves the block; then step - 1 more fit.
        EXPECT_EQ(slotsBeforeMove(a, static_cast<void*>(nullptr)), 0) << c.size;
        EXPECT_EQ(slotsBeforeMove(a, static_cast<void*>(nullptr)), c.step - 1) << c.size;
    }
}

TEST_F(CArrayTest, NewElementsStartZeroed)
{
    CArray<int*> pointers;
    int x = 5;
    pointers.SetAtGrow(3, &x);
    ASSERT_EQ(pointers.GetSize(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pointers[i], nullptr);
    EXPECT_EQ(pointers[3], &x);

    CArray<Plain> plain;
    plain.SetSize(3);
    plain[1].number = 42;
    plain.SetSize(1);
    plain.SetSize(3);   // regrown within the block: no leftover bytes
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(plain[i].number, 0);
        EXPECT_EQ(plain[i].pointer, nullptr);
        EXPECT_EQ(plain[i].value, 0.0);
    }
}

TEST_F(CArrayTest, BadIndicesThrowAndChangeNothing)
{
    CArray<int> a;
    for (int i = 0; i < 4; ++i)
        a.Add(i);
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"GetAt size", [&] { (void)a.GetAt(4); }},
        {"ElementAt negative", [&] { (void)a.ElementAt(-1); }},
        {"operator[] size", [&] { (void)a[4]; }},
        {"SetAtGrow negative", [&] { a.SetAtGrow(-1, 9); }},
        {"SetSize negative", [&] { a.SetSize(-2); }},
        {"RemoveAt past end", [&] { a.RemoveAt(2, 3); }},
        {"RemoveAt negative count", [&] { a.RemoveAt(0, -1); }},
    };
    int expectedAsserts = 0;
    for (const auto& [name, call] : cases) {
        EXPECT_THROW(call(), CBadException) << name;
        EXPECT_EQ(assertCount(), ++expectedAsserts) << name;
        ASSERT_EQ(a.GetSize(), 4) << name;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(a[i], i) << name;
    }
}

TEST_F(CArrayTest, RemoveAtKeepsTheBlockRemoveAllFreesIt)
{
    CArray<int> a;
    for (int i = 0; i < 6; ++i)
        a.Add(i);
    a.RemoveAt(1, 2);
    ASSERT_EQ(a.GetSize(), 4);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 3);
    EXPECT_EQ(a[3], 5);
    const int* block = &a[0];
    a.RemoveAt(0, a.GetSize());
    EXPECT_EQ(a.GetSize(), 0);
    a.Add(7);
    EXPECT_EQ(&a[0], block);   // the block survived
    a.RemoveAll();
    EXPECT_EQ(a.GetSize(), 0);
    a.Add(8);
    EXPECT_EQ(slotsBeforeMove(a, 0), 0);   // a fresh, exact block
}

TEST_F(CArrayTest, ElementsMoveWithTheirOwnSemantics)
{
    {
        CArray<Counted> records;
        for (int i = 0; i < 50; ++i) {
            Counted r;
            r.name = IntToString(i);
            r.longText = std::string(40, char('a' + i % 26));
            r.cursor = r.text + 3;
            records.Add(r);
        }
        records.RemoveAt(10, 5);
        records.SetAtGrow(60, records[0]);   // an own element while the block moves
        ASSERT_EQ(records.GetSize(), 61);
        for (int i = 0; i < 45; ++i) {
            const Counted& r = records[i];
            int original = i < 10 ? i : i + 5;
            EXPECT_EQ(std::string(r.name), std::to_string(original));
            EXPECT_EQ(r.longText, std::string(40, char('a' + original % 26)));
            EXPECT_EQ(r.cursor, r.text + 3);   // still points into its own copy
        }
        EXPECT_EQ(std::string(records[60].name), "0");
        EXPECT_EQ(Counted::live, 61);
    }
    EXPECT_EQ(Counted::live, 0);

    CArray<std::unique_ptr<int>*> owners;   // pointer instances, as the engine uses them
    std::unique_ptr<int> value = std::make_unique<int>(3);
    owners.Add(&value);
    EXPECT_EQ(**owners[0], 3);
}

TEST_F(CArrayTest, CrashFramesArePointerSized)
{
    CArray<std::uintptr_t> frames;
    frames.SetSize(0, 16);
    frames.SetAtGrow(0, std::uintptr_t(0x7fffdeadbeef1234ull));
    frames.SetAtGrow(20, 1);
    EXPECT_EQ(frames[0], std::uintptr_t(0x7fffdeadbeef1234ull));
    EXPECT_EQ(frames[19], 0u);
}
