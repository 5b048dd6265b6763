// CStringArray growth and bounds, the hash maps' hashing, buckets, blocks and order.
#include "utils_str.h"

#include "utils_assert.h"

#include "assert_counting_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

class CollectionsTest : public AssertCountingTest {};

std::vector<std::string> contents(const CStringArray& a)
{
    std::vector<std::string> out;
    for (int i = 0; i < a.GetSize(); ++i)
        out.emplace_back(static_cast<const char*>(a[i]));
    return out;
}

// Capacity is not exposed; FreeExtra-free growth is observed through the element block.
const CString* blockOf(CStringArray& a) { return &a.ElementAt(0); }

template <class Map>
std::vector<std::string> iterationOrder(const Map& map)
{
    std::vector<std::string> keys;
    POSITION pos = map.GetStartPosition();
    while (pos) {
        CString key;
        CString value;
        void* ptr = nullptr;
        if constexpr (std::is_same_v<Map, CMapStringToPtr>)
            map.GetNextAssoc(pos, key, ptr);
        else
            map.GetNextAssoc(pos, key, value);
        keys.emplace_back(static_cast<const char*>(key));
    }
    return keys;
}

// Two different keys whose hashes land in the same one of the given buckets.
std::pair<std::string, std::string> sameBucketKeys(unsigned buckets)
{
    std::string first = "k0";
    for (int i = 1; i < 1000; ++i) {
        std::string other = "k" + std::to_string(i);
        if (HashKey(other.c_str()) % buckets == HashKey(first.c_str()) % buckets)
            return {first, other};
    }
    return {};
}

} // namespace

TEST_F(CollectionsTest, ArrayGrowthSteps)
{
    struct Case { int size; int growBy; int expectedCapacity; };
    // Capacity shows as the moment the block moves: fill to the old capacity, add one,
    // then count how many more Adds keep the same block.
    const Case cases[] = {{16, 0, 20}, {8200, 0, 8200 + 1024}, {8, 0, 12}, {40, 0, 45}, {10, 3, 13}};
    for (const Case& c : cases) {
        CStringArray a;
        a.SetSize(c.size, c.growBy);   // exact first block
        const CString* first = blockOf(a);
        a.Add("x");
        EXPECT_NE(blockOf(a), first) << c.size;
        const CString* grown = blockOf(a);
        while (a.GetSize() < c.expectedCapacity)
            a.Add("y");
        EXPECT_EQ(blockOf(a), grown) << c.size;
        a.Add("z");
        EXPECT_NE(blockOf(a), grown) << c.size;
        EXPECT_EQ(std::string(a[c.size]), "x");
    }
    // The step follows the size, not the capacity: 10 used of 100 gives a step of 4.
    CStringArray shrunk;
    shrunk.SetSize(100);
    shrunk.SetSize(10);
    const CString* block = blockOf(shrunk);
    shrunk.SetSize(101);
    EXPECT_NE(blockOf(shrunk), block);
    block = blockOf(shrunk);
    shrunk.SetSize(104);
    EXPECT_EQ(blockOf(shrunk), block);
    shrunk.SetSize(105);
    EXPECT_NE(blockOf(shrunk), block);
}

TEST_F(CollectionsTest, ArraySetAtGrowInsertRemove)
{
    CStringArray a;
    a.SetAtGrow(5, "five");
    EXPECT_EQ(contents(a), (std::vector<std::string>{"", "", "", "", "", "five"}));
    a.InsertAt(1, "new", 2);
    EXPECT_EQ(contents(a), (std::vector<std::string>{"", "new", "new", "", "", "", "", "five"}));
    EXPECT_EQ(a[1].GetData(), a[2].GetData());   // one string shared by the inserted slots
    a.InsertAt(10, "far");
    EXPECT_EQ(a.GetSize(), 11);
    EXPECT_EQ(std::string(a[10]), "far");
    a.RemoveAt(0, 8);
    EXPECT_EQ(contents(a), (std::vector<std::string>{"", "", "far"}));
    a.RemoveAt(2, 0);
    EXPECT_EQ(a.GetSize(), 3);

    CStringArray other;
    other.Add("a");
    other.Add("b");
    a.InsertAt(1, &other);
    EXPECT_EQ(contents(a), (std::vector<std::string>{"", "a", "b", "", "far"}));
    a.InsertAt(0, &a);
    EXPECT_EQ(a.GetSize(), 10);
    EXPECT_EQ(std::string(a[6]), "a");
    EXPECT_EQ(a.Append(other), 10);
    EXPECT_EQ(std::string(a[11]), "b");

    // Adding one of the array's own elements while the block moves.
    CStringArray self;
    self.Add("keep");
    for (int i = 0; i < 40; ++i)
        self.Add(self[0]);
    EXPECT_EQ(std::string(self[40]), "keep");

    CStringArray copy;
    copy.Copy(other);
    EXPECT_EQ(contents(copy), contents(other));
    copy.Copy(copy);
    EXPECT_EQ(assertCount(), 1);
    EXPECT_EQ(contents(copy), contents(other));
}

TEST_F(CollectionsTest, ArrayBadArgumentsThrowAndChangeNothing)
{
    CStringArray a;
    a.Add("0");
    a.Add("1");
    a.Add("2");
    a.Add("3");
    struct Case { const char* name; std::function<void()> call; };
    const std::vector<Case> cases = {
        {"RemoveAt past end", [&] { a.RemoveAt(2, 3); }},
        {"RemoveAt negative", [&] { a.RemoveAt(-1); }},
        {"GetAt size", [&] { (void)a.GetAt(4); }},
        {"ElementAt negative", [&] { (void)a.ElementAt(-1); }},
        {"SetAt size", [&] { a.SetAt(4, "x"); }},
        {"SetAtGrow negative", [&] { a.SetAtGrow(-1, "x"); }},
        {"SetSize negative", [&] { a.SetSize(-1); }},
        {"InsertAt zero count", [&] { a.InsertAt(0, "x", 0); }},
        {"InsertAt null array", [&] { a.InsertAt(0, static_cast<const CStringArray*>(nullptr)); }},
        {"Append self", [&] { a.Append(a); }},
    };
    int expectedAsserts = 0;
    for (const Case& c : cases) {
        EXPECT_THROW(c.call(), CBadException) << c.name;
        EXPECT_EQ(assertCount(), ++expectedAsserts) << c.name;
        EXPECT_EQ(contents(a), (std::vector<std::string>{"0", "1", "2", "3"})) << c.name;
    }
}

TEST_F(CollectionsTest, ArrayRemoveAllAndFreeExtra)
{
    CStringArray a;
    a.SetSize(3, 10);
    a.Add("x");
    a.FreeExtra();
    const CString* block = blockOf(a);
    a.Add("y");   // no spare slot after FreeExtra
    EXPECT_NE(blockOf(a), block);
    a.RemoveAll();
    EXPECT_TRUE(a.IsEmpty());
    a.Add("again");
    EXPECT_EQ(a.GetUpperBound(), 0);
}

TEST_F(CollectionsTest, SortStringsByteOrder)
{
    CStringArray a;
    for (const char* s : {"beta", "Alpha", "alpha", "\xE9t\xE9", "b"})
        a.Add(s);
    EXPECT_EQ(SortStrings(a, 1), 4);
    EXPECT_EQ(contents(a), (std::vector<std::string>{"Alpha", "alpha", "b", "beta", "\xE9t\xE9"}));
    SortStrings(a, 0);
    EXPECT_EQ(contents(a), (std::vector<std::string>{"\xE9t\xE9", "beta", "b", "alpha", "Alpha"}));
    CStringArray empty;
    EXPECT_EQ(SortStrings(empty, 1), -1);
    CString text("same");
    EXPECT_TRUE(CompareElements(&text, "same"));
    EXPECT_FALSE(CompareElements(&text, "Same"));
}

TEST_F(CollectionsTest, HashKeyIsTimes33PlusSignedByte)
{
    EXPECT_EQ(HashKey(""), 0u);
    EXPECT_EQ(HashKey("ab"), 3299u);
    EXPECT_EQ(HashKey("a\xE9"), 97u * 33u - 23u);
    EXPECT_EQ(HashKey("\xFF"), 0xFFFFFFFFu);
    // Wraps in 32 bits.
    unsigned h = 0;
    for (char c : std::string("a fairly long key that overflows"))
        h = h * 33u + unsigned(int(static_cast<signed char>(c)));
    EXPECT_EQ(HashKey("a fairly long key that overflows"), h);
    EXPECT_THROW(HashKey(nullptr), CBadException);
}

TEST_F(CollectionsTest, MapBasicsAndCaseSensitiveKeys)
{
    CMapStringToString map;
    EXPECT_EQ(map.GetHashTableSize(), 17u);
    map.SetAt("Key", "upper");
    map["key"] = "lower";
    EXPECT_EQ(map.GetCount(), 2);
    CString value;
    EXPECT_TRUE(map.Lookup("Key", value));
    EXPECT_EQ(std::string(value), "upper");
    EXPECT_FALSE(map.Lookup("KEY", value));
    const char* stored = nullptr;
    EXPECT_TRUE(map.LookupKey("key", stored));
    EXPECT_STREQ(stored, "key");
    CMapStringToString::CPair* pair = map.PLookup("key");
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(std::string(pair->value), "lower");
    EXPECT_EQ(map.PLookup("nope"), nullptr);
    EXPECT_EQ(std::string(map["absent"]), "");
    EXPECT_EQ(map.GetCount(), 3);
    EXPECT_TRUE(map.RemoveKey("absent"));
    EXPECT_FALSE(map.RemoveKey("absent"));
    EXPECT_THROW(map.SetAt(nullptr, "x"), CBadException);
    EXPECT_EQ(map.GetCount(), 2);

    CMapStringToPtr pointers;
    int target = 0;
    pointers.SetAt("p", &target);
    pointers.SetAt("big", reinterpret_cast<void*>(std::uintptr_t(0x123456789ABCull)));
    void* out = nullptr;
    EXPECT_TRUE(pointers.Lookup("p", out));
    EXPECT_EQ(out, &target);
    EXPECT_TRUE(pointers.Lookup("big", out));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(out), 0x123456789ABCull);   // pointer-sized
    EXPECT_EQ(pointers["zero"], nullptr);
}

TEST_F(CollectionsTest, IterationIsBucketOrderNewestFirst)
{
    auto [older, newer] = sameBucketKeys(17);
    ASSERT_FALSE(older.empty());
    CMapStringToPtr map;
    map.SetAt(older.c_str(), nullptr);
    map.SetAt(newer.c_str(), nullptr);
    map.SetAt("other", nullptr);
    std::vector<std::string> order = iterationOrder(map);
    ASSERT_EQ(order.size(), 3u);
    auto posOlder = std::find(order.begin(), order.end(), older);
    auto posNewer = std::find(order.begin(), order.end(), newer);
    EXPECT_EQ(posNewer + 1, posOlder);

    // Full order: ascending bucket, newest first within one.
    std::vector<std::pair<unsigned, std::string>> expected;
    const char* keys[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"};
    CMapStringToString strings;
    for (const char* k : keys)
        strings[k] = k;
    std::vector<std::string> walked = iterationOrder(strings);
    std::vector<std::string> pointerWalk;
    for (CMapStringToString::CPair* p = strings.PGetFirstAssoc(); p; p = strings.PGetNextAssoc(p))
        pointerWalk.emplace_back(static_cast<const char*>(p->key));
    EXPECT_EQ(walked, pointerWalk);
    ASSERT_EQ(walked.size(), 8u);
    for (std::size_t i = 1; i < walked.size(); ++i)
        EXPECT_LE(HashKey(walked[i - 1].c_str()) % 17, HashKey(walked[i].c_str()) % 17);
}

TEST_F(CollectionsTest, BlocksOfTenAndTheFreeList)
{
    CMapStringToPtr map;
    std::vector<const void*> entries;
    for (int i = 0; i < 11; ++i) {
        std::string key = "e" + std::to_string(i);
        map.SetAt(key.c_str(), nullptr);
        entries.push_back(map.PLookup(key.c_str()));
    }
    // The first ten come from one block in order; the eleventh starts a new block.
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ(static_cast<const char*>(entries[std::size_t(i)]) - static_cast<const char*>(entries[std::size_t(i - 1)]),
                  std::ptrdiff_t(sizeof(CMapStringToPtr::CAssoc)));
    EXPECT_NE(static_cast<const char*>(entries[10]) - static_cast<const char*>(entries[9]),
              std::ptrdiff_t(sizeof(CMapStringToPtr::CAssoc)));
    // A freed entry is reused before anything else.
    EXPECT_TRUE(map.RemoveKey("e3"));
    map.SetAt("reused", nullptr);
    EXPECT_EQ(static_cast<const void*>(map.PLookup("reused")), entries[3]);
}

TEST_F(CollectionsTest, EmptyingFreesTableButKeepsBucketCount)
{
    CMapStringToString map;
    map.InitHashTable(101);
    EXPECT_EQ(map.GetHashTableSize(), 101u);
    map["a"] = "1";
    map["b"] = "2";
    map.RemoveAll();
    EXPECT_EQ(map.GetHashTableSize(), 101u);
    EXPECT_EQ(map.GetStartPosition(), nullptr);
    EXPECT_EQ(map.PGetFirstAssoc(), nullptr);
    map["c"] = "3";
    EXPECT_TRUE(map.RemoveKey("c"));   // the last removal empties the map
    EXPECT_EQ(map.GetHashTableSize(), 101u);
    EXPECT_TRUE(map.IsEmpty());
    map["d"] = "4";
    EXPECT_EQ(map.GetCount(), 1);
    EXPECT_EQ(assertCount(), 0);

    map.InitHashTable(50);   // refused while entries exist
    EXPECT_EQ(assertCount(), 1);
    EXPECT_EQ(map.GetHashTableSize(), 101u);
    EXPECT_EQ(std::string(map["d"]), "4");
}
