// Mutated script value texts and XML tables: the profile's tagged value text
// and every XML file of the sample game, damaged in seeded ways, are read
// without a crash, a hang, leaked memory or a VM stack left unbalanced.
#include "module_scripting_serialize.h"

#include "msgbox_recorder.h"
#include "mutations.h"
#include "user_folder_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RobustScriptValues : public QuietScriptTest {
protected:
    std::string alertFile() const { return App.file("last_scriptcomp_error_alert.log"); }

    CMessageBoxRecorder Boxes;
};

// A seed made by the writer itself: nested tables, arrays, every scalar and
// a string that needs base64.
std::string serializedSeed()
{
    SquirrelObject value = SquirrelVM::RunScript(SquirrelVM::CompileBuffer(
        "return {a=1, s=\"line\\nbreak]\", f=0.1234567, b=true, arr=[3,1,[2,{k=\"v\"}]], t={u={w=-5}}}", "seed"));
    CString out;
    int counter = 0;
    SqSerialize(value, out, &counter, SqSerializeQuiet);
    return (const char*)out;
}

TEST_F(RobustScriptValues, MutatedValueTextsAreReadOrRefusedWithTheStackBalanced)
{
    const std::string seed = serializedSeed();
    ASSERT_NE(seed.find("_table_len"), std::string::npos);
    const std::vector<std::string> cases =
        MutateSeed(seed, 1, 160, {"<0_table_len val=\"2147483647\"/>", "<9_type val=\"167772192\"/>", "_slot>"});
    HSQUIRRELVM vm = SquirrelVM::GetVMPtr();
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const SQInteger top = sq_gettop(vm);
        SquirrelObject out;
        int counter = 0;
        const bool read = SqDeserialize(cases[i].c_str(), out, &counter);
        if (sq_gettop(vm) != top)
            return "stack moved from " + std::to_string(top) + " to " + std::to_string(sq_gettop(vm));
        // Each value read takes the number of one type element of the text.
        size_t typeElements = 0;
        for (size_t at = cases[i].find("_type"); at != std::string::npos; at = cases[i].find("_type", at + 1))
            ++typeElements;
        if (counter < 0 || size_t(counter) > typeElements)
            return "the counter went to " + std::to_string(counter) + " over " + std::to_string(typeElements) +
                   " type elements";
        if (i == 0 && (!read || out.GetType() != OT_TABLE || out.GetValue("t").GetValue("u").GetInt("w") != -5))
            return "the unmutated seed did not read back";
        // Whatever was read can be written again.
        CString again;
        int writeCounter = 0;
        SqSerialize(out, again, &writeCounter, SqSerializeQuiet);
        return sq_gettop(vm) == top ? "" : "writing moved the stack";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Ended, 0);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

TEST_F(RobustScriptValues, MutatedXmlFilesGiveTablesWithTheStackBalanced)
{
    std::vector<std::string> cases;
    for (const char* file : {"manifest.xml", "text/capitals.xml"}) {
        const std::string seed = ReadSampleData(file);
        ASSERT_FALSE(seed.empty()) << file;
        const std::vector<std::string> more =
            MutateSeed(seed, 2, 90, {"<array:x val=\"1\"/>", "<array:", "<!--", "<?xml", "<![CDATA[", "</Manifest>"});
        cases.insert(cases.end(), more.begin(), more.end());
    }
    HSQUIRRELVM vm = SquirrelVM::GetVMPtr();
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const SQInteger top = sq_gettop(vm);
        SquirrelObject table = SquirrelVM::CreateTable();
        if (LoadTableFromXmlText(cases[i].c_str(), table) != 1 || table.GetType() != OT_TABLE)
            return "no table";
        if (sq_gettop(vm) != top)
            return "stack moved";
        if (i == 0 && table.GetValue("Manifest").GetValue("DefaultWindowTitle").GetType() != OT_STRING)
            return "the unmutated manifest lost its title";
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

}  // namespace
