// The tagged value text: exact output, round trips, cycles, depth and
// malformed texts.
#include "module_scripting_serialize.h"

#include "msgbox_recorder.h"
#include "user_folder_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

class SerializeTest : public QuietScriptTest {
protected:
    static std::string write(const SquirrelObject& value, int flags = SqSerializeQuiet, int* end = nullptr)
    {
        int counter = 0;
        CString out;
        SqSerialize(value, out, &counter, flags);
        if (end)
            *end = counter;
        return (const char*)out;
    }

    // Deep equality of two script values; floats compared as written ("%f").
    static bool same(const SquirrelObject& a, const SquirrelObject& b)
    {
        if (a.GetType() != b.GetType())
            return false;
        switch (a.GetType()) {
        case OT_STRING: return std::string(a.ToString()) == b.ToString();
        case OT_INTEGER: return a.ToInteger() == b.ToInteger();
        case OT_BOOL: return a.ToBool() == b.ToBool();
        case OT_FLOAT: return std::fabs(a.ToFloat() - b.ToFloat()) < 1e-6f;
        case OT_NULL: return true;
        case OT_TABLE:
        case OT_ARRAY: return contains(a, b) && contains(b, a);
        default: return false;
        }
    }

    static bool contains(const SquirrelObject& outer, const SquirrelObject& inner)
    {
        SquirrelObject walk(inner);
        if (!walk.BeginIteration())
            return false;
        SquirrelObject key, value;
        bool equal = true;
        while (equal && walk.Next(key, value)) {
            SquirrelObject other = key.GetType() == OT_INTEGER ? outer.GetValue(key.ToInteger())
                                                                : outer.GetValue(key.ToString());
            equal = same(value, other);
        }
        walk.EndIteration();
        return equal;
    }

    static int slotCount(const SquirrelObject& container)
    {
        SquirrelObject walk(container);
        int count = 0;
        if (walk.BeginIteration()) {
            SquirrelObject key, value;
            while (walk.Next(key, value))
                ++count;
            walk.EndIteration();
        }
        return count;
    }
};

TEST_F(SerializeTest, SingleKeyTableIsWrittenExactly)
{
    SquirrelObject table = run("return {a = 1}");
    int end = 0;
    EXPECT_EQ(write(table, SqSerializeQuiet, &end),
              "<0_type val=\"167772192\"/>\n<0_table>\n\t<0_0_slot>\n\t<1_type val=\"134217744\"/><1_str>a</1_str>"
              "<2_type val=\"83886082\"/><2_int val=\"1\"/>\n\t</0_0_slot>\n</0_table><0_table_len val=\"1\"/>");
    EXPECT_EQ(end, 3);
}

TEST_F(SerializeTest, ScalarsAreWrittenExactly)
{
    struct Case {
        const char* code;
        const char* text;
    };
    const Case cases[] = {
        {"return 0.1234567", "<0_type val=\"83886084\"/><0_float val=\"0.123457\"/>"},
        {"return -7", "<0_type val=\"83886082\"/><0_int val=\"-7\"/>"},
        {"return true", "<0_type val=\"16777224\"/><0_bool val=\"1\"/>"},
        {"return \"plain\"", "<0_type val=\"134217744\"/><0_str>plain</0_str>"},
        {"return \"a\\nb\"", "<0_type val=\"134217744\"/><0_strB64>YQpi</0_strB64>"},
        {"return \"<b>\"", "<0_type val=\"134217744\"/><0_strB64>PGI+</0_strB64>"},
        {"return \"a\\rb\"", "<0_type val=\"134217744\"/><0_strB64>YQ1i</0_strB64>"},
        {"return null", "<0_type val=\"16777217\"/>"},
        {"return [5]", "<0_type val=\"134217792\"/>\n<0_table>\n\t<0_0_slot>\n\t<1_type val=\"83886082\"/>"
                       "<1_int val=\"0\"/><2_type val=\"83886082\"/><2_int val=\"5\"/>\n\t</0_0_slot>\n</0_table>"
                       "<0_table_len val=\"1\"/>"},
        {"return {}", "<0_type val=\"167772192\"/>\n<0_table>\n</0_table><0_table_len val=\"0\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(write(run(c.code)), c.text);
    }
}

TEST_F(SerializeTest, NestedTableRoundTrips)
{
    SquirrelObject value = run(
        "return {i = 42, neg = -5, f = 2.5, yes = true, no = false, s = \"text\", lf = \"two\\nlines\","
        " lt = \"a<b\", arr = [1, \"two\", [3, 4.5], {k = \"v\"}],"
        " t = {deep = {deeper = {x = 1, y = [true]}}}, [7] = \"int key\", empty = {}}");
    int written = 0;
    std::string text = write(value, SqSerializeQuiet, &written);
    SquirrelObject back;
    int read = 0;
    ASSERT_TRUE(SqDeserialize(text.c_str(), back, &read));
    EXPECT_EQ(read, written);
    EXPECT_TRUE(same(value, back));
    EXPECT_EQ(std::string(back.GetValue("arr").GetValue(1).ToString()), "two");   // order kept
    EXPECT_EQ(std::string(back.GetValue(7).ToString()), "int key");
}

TEST_F(SerializeTest, CarriageReturnSurvivesAtEveryLevel)
{
    SquirrelObject top;
    ASSERT_TRUE(SqDeserialize(write(run("return \"a\\rb\"")).c_str(), top, nullptr));
    EXPECT_EQ(std::string(top.ToString()), "a\rb");
    SquirrelObject table;
    ASSERT_TRUE(SqDeserialize(write(run("return {k = \"a\\rb\", deep = [\"\\r\"]}")).c_str(), table, nullptr));
    EXPECT_EQ(std::string(table.GetString("k")), "a\rb");
    EXPECT_EQ(std::string(table.GetValue("deep").GetString(0)), "\r");
}

TEST_F(SerializeTest, SelfContainingTableStopsAtTheRepeat)
{
    CMessageBoxRecorder boxes;
    SquirrelObject value = run("local t = {n = 1, inner = {}}; t.inner.back <- t; t.me <- t; return t");
    std::string text = write(value, SqSerializeQuiet);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("contains itself"), std::string::npos);

    write(value, 0);
    ASSERT_EQ(boxes.Boxes.size(), 2u);   // one per repeat
    EXPECT_NE(boxes.Boxes[0].Text.find("Wrong SqSerialize type on serialize! 167772192"), std::string::npos);

    boxes.Boxes.clear();
    SquirrelObject back;
    int read = 0;
    ASSERT_TRUE(SqDeserialize(text.c_str(), back, &read));
    EXPECT_EQ(back.GetInt("n"), 1);
    EXPECT_EQ(back.GetValue("me").GetType(), OT_NULL);
    EXPECT_EQ(back.GetValue("inner").GetValue("back").GetType(), OT_NULL);
    EXPECT_TRUE(boxes.Boxes.empty());   // a null reads back as null, quietly
}

TEST_F(SerializeTest, UnsupportedValuesKeepTheNumbering)
{
    CMessageBoxRecorder boxes;
    SquirrelObject value = run("return [null, function() {}, 9]");
    std::string text = write(value, SqSerializeQuiet);
    EXPECT_TRUE(boxes.Boxes.empty());
    SquirrelObject back;
    ASSERT_TRUE(SqDeserialize(text.c_str(), back, nullptr));
    EXPECT_EQ(back.GetValue(0).GetType(), OT_NULL);
    EXPECT_EQ(back.GetValue(2).ToInteger(), 9);
    ASSERT_EQ(boxes.Boxes.size(), 1u);   // the function; the null is no fault
    EXPECT_NE(boxes.Boxes[0].Text.find("Wrong SqSerialize type on deserialize! 134217984"), std::string::npos);
    EXPECT_EQ(boxes.Boxes[0].Text.rfind("Assert!\nsrc\\module_scripting: ", 0), 0u) << boxes.Boxes[0].Text;

    boxes.Boxes.clear();
    int counter = 0;
    ASSERT_TRUE(SqDeserialize(write(run("return null"), 0, &counter).c_str(), back, nullptr));
    EXPECT_EQ(back.GetType(), OT_NULL);
    EXPECT_EQ(counter, 0);
    EXPECT_TRUE(boxes.Boxes.empty());
    write(run("return function() {}"), 0);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_NE(boxes.Boxes[0].Text.find("Wrong SqSerialize type on serialize! 134217984"), std::string::npos);
}

TEST_F(SerializeTest, DeepNestingIsCutNotRecursedWithoutEnd)
{
    CMessageBoxRecorder boxes;
    SquirrelObject value = run("local t = {}; local top = t;"
                               "for (local i = 0; i < 400; i++) { t.next <- {}; t = t.next; } return top");
    std::string text = write(value, SqSerializeQuiet);
    SquirrelObject back;
    ASSERT_TRUE(SqDeserialize(text.c_str(), back, nullptr));
    int depth = 0;
    for (SquirrelObject walk = back; walk.GetType() == OT_TABLE; walk = walk.GetValue("next"))
        ++depth;
    EXPECT_EQ(depth, SqSerializeMaxDepth);
}

TEST_F(SerializeTest, MalformedTextsAreRefusedOrReadSafely)
{
    CMessageBoxRecorder boxes;
    struct Case {
        const char* text;
        bool result;
        SQObjectType type;
        int size;   // slots of a container, else -1
    };
    const Case cases[] = {
        {"", false, OT_NULL, -1},
        {"garbage", false, OT_NULL, -1},
        {"<0_type val=\"0\"/>", false, OT_NULL, -1},
        {"<0_type val=\"abc\"/>", false, OT_NULL, -1},
        {"<0_type val=\"167772192\"", false, OT_NULL, -1},                       // truncated
        {"<0_type val=\"12345\"/>", true, OT_NULL, -1},                          // unknown word
        {"<0_type val=\"83886082\"/>", true, OT_INTEGER, -1},                    // value missing: 0
        {"<0_type val=\"134217744\"/><0_str>cut", true, OT_STRING, -1},
        {"<0_type val=\"134217792\"/><0_table_len val=\"2147483647\"/>", true, OT_ARRAY, 0},
        {"<0_type val=\"134217792\"/><0_table_len val=\"-5\"/>", true, OT_ARRAY, 0},
        {"<0_type val=\"167772192\"/>\n<0_table>\n\t<0_0_slot>\n\t<1_type val=\"83886082\"/><1_int val=\"1\"/>"
         "\n\t</0_0_slot>\n</0_table><0_table_len val=\"99999\"/>", true, OT_TABLE, 0},   // key without value
        {"<0_type val=\"134217792\"/>\n<0_table>\n\t<0_0_slot>\n\t<1_type val=\"83886082\"/><1_int val=\"50\"/>"
         "<2_type val=\"83886082\"/><2_int val=\"7\"/>\n\t</0_0_slot>\n</0_table><0_table_len val=\"1\"/>",
         true, OT_ARRAY, 1},                                                       // index out of range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SquirrelObject out;
        int counter = 0;
        EXPECT_EQ(SqDeserialize(c.text, out, &counter), c.result);
        EXPECT_EQ(out.GetType(), c.type);
        if (c.size >= 0) {
            EXPECT_EQ(slotCount(out), c.size);
        }
    }
}

TEST_F(SerializeTest, XmlBecomesTypedNestedTables)
{
    SquirrelObject t = SquirrelVM::CreateTable();
    LoadTableFromXmlText("<?xml version=\"1.0\"?>\n<cfg>\n"
                         "  <flags a=\"1\" b=\"x\" c=\"2.5\" d=\"true\" e=\"false\" val=\"ignored\"/>\n"
                         "  <v val=\"5\"/>\n  <name>Bob</name>\n  <n> 5 </n>\n"
                         "  <item kind=\"x\">7</item>\n"
                         "  <list><array:e val=\"1\"/><!-- c --><array:e val=\"two\"/></list>\n"
                         "  <array:p x=\"1\"/><array:p x=\"2\"/>\n"
                         "  <w id=\"4\"><k val=\"1\"/></w>\n"
                         "  <deep><a><b val=\"3\"/></a><c>text</c></deep>\n"
                         "  <empty></empty>\n  <last val=\"-8\"/>\n</cfg>\n", t);
    SquirrelObject cfg = t.GetValue("cfg");
    ASSERT_EQ(cfg.GetType(), OT_TABLE);
    SquirrelObject flags = cfg.GetValue("flags");
    EXPECT_EQ(flags.GetValue("a").GetType(), OT_INTEGER);
    EXPECT_STREQ(flags.GetString("b"), "x");
    EXPECT_FLOAT_EQ(flags.GetFloat("c"), 2.5f);
    EXPECT_EQ(flags.GetValue("d").GetType(), OT_BOOL);
    EXPECT_TRUE(flags.GetBool("d"));
    EXPECT_FALSE(flags.GetBool("e"));
    EXPECT_FALSE(flags.Exists("val"));
    EXPECT_EQ(cfg.GetInt("v"), 5);
    EXPECT_STREQ(cfg.GetString("name"), "Bob");
    EXPECT_STREQ(cfg.GetString("n"), "5");   // content without attributes stays text
    EXPECT_STREQ(cfg.GetValue("item").GetString("kind"), "x");
    EXPECT_EQ(cfg.GetValue("item").GetInt("val"), 7);
    SquirrelObject e = cfg.GetValue("list").GetValue("e");
    ASSERT_EQ(e.GetType(), OT_ARRAY);
    EXPECT_EQ(slotCount(e), 2);
    EXPECT_EQ(e.GetInt(0), 1);
    EXPECT_STREQ(e.GetString(1), "two");
    SquirrelObject p = cfg.GetValue("p");
    ASSERT_EQ(p.GetType(), OT_ARRAY);
    EXPECT_EQ(p.GetValue(1).GetInt("x"), 2);
    EXPECT_EQ(cfg.GetValue("w").GetInt("id"), 4);
    EXPECT_EQ(cfg.GetValue("w").GetInt("k"), 1);
    EXPECT_EQ(cfg.GetValue("deep").GetValue("a").GetInt("b"), 3);
    EXPECT_STREQ(cfg.GetValue("deep").GetString("c"), "text");
    EXPECT_EQ(slotCount(cfg.GetValue("empty")), 0);
    EXPECT_STREQ(cfg.GetString("last"), "-8");   // a sign makes it text, as the classifier says

    // Names of the default delegate's functions are plain keys.
    SquirrelObject named = SquirrelVM::CreateTable();
    LoadTableFromXmlText("<array:len val=\"1\"/><array:len val=\"2\"/><array:clear val=\"3\"/>"
                         "<array:clear>six</array:clear><array:tostring val=\"4\"/><rawget val=\"5\"/>", named);
    EXPECT_EQ(slotCount(named), 4);
    ASSERT_EQ(named.GetValue("len").GetType(), OT_ARRAY);
    EXPECT_EQ(slotCount(named.GetValue("len")), 2);
    EXPECT_EQ(named.GetValue("len").GetInt(1), 2);
    ASSERT_EQ(named.GetValue("clear").GetType(), OT_ARRAY);
    EXPECT_EQ(named.GetValue("clear").GetInt(0), 3);
    EXPECT_STREQ(named.GetValue("clear").GetString(1), "six");
    ASSERT_EQ(named.GetValue("tostring").GetType(), OT_ARRAY);
    EXPECT_EQ(named.GetValue("tostring").GetInt(0), 4);
    EXPECT_EQ(named.GetInt("rawget"), 5);
}

TEST_F(SerializeTest, BrokenXmlGivesPartialTablesWithoutHanging)
{
    std::string deep;
    for (int i = 0; i < 1000; ++i)
        deep += "<n>";
    const std::string texts[] = {"", "<<<", "<a><b val=\"1\"/>", "<a x=\"1", "</a></b>", "<a>text", deep,
                                 "<a><array:b val=\"1\"/></a><a>2</a>", "<x array:=\"1\"/>", "<!DOCTYPE <>",
                                 "\xFE\xFF\xFF\xFF\xBA\xDE-`````````````=\"1.0\"?>\n<Manifest>"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        SquirrelObject t = SquirrelVM::CreateTable();
        EXPECT_EQ(LoadTableFromXmlText(text.c_str(), t), 1);
        EXPECT_EQ(t.GetType(), OT_TABLE);
    }
    SquirrelObject t = SquirrelVM::CreateTable();
    LoadTableFromXmlText("<a><b val=\"1\"/>", t);
    EXPECT_EQ(t.GetValue("a").GetInt("b"), 1);
}

}  // namespace
