// Text, random numbers, dates and value text, run by module_scripting_funcs_test (TZ=UTC).
check(core_StrMD5("abc") == "900150983cd24fb0d6963f7d28e17f72", "MD5 in lower case");
check(core_StrMD5("") == "d41d8cd98f00b204e9800998ecf8427e", "MD5 of nothing");
check(core_Escape("a b") == "%61%20%62", "every byte is escaped");
check(core_Unescape("%61+b%21") == "a b!", "unescape with a plus");
check(core_StrMask("hello.nut", "*.nut"), "text first, pattern second");
check(!core_StrMask("*.nut", "hello.nut"), "the order matters");
check(core_StrReplace("a-b-c", "-", "+") == "a+b+c", "every occurrence replaced");
check(core_StrReplace("abc", "", "x") == "abc", "an empty search text changes nothing");
check(core_GetStrSlice("say [word] now", "[", "]") == "word", "the text between the markers");
check(core_StrSlice("no markers here", "[", "]") == null, "no start marker gives null");
check(core_GetSprIniParameter("Texture", "-Texture:pic.png\n-Size:1") == "pic.png", "a description key");
check(core_GetSprIniParameter("Missing", "-Texture:pic.png") == "", "a missing description key");
check(core_StrADLER32("abc") == core_StrADLER32("abc") && core_StrADLER32("abc") != core_StrADLER32("abd"),
      "the checksum follows the text");
check(core_StrADLER32("abc") == 41419057, "the checksum starts its sums at 11 and 13");

local seq = core_CreateRndSequence(0, 3);
check(seq.len() == 3 && seq[0] == 1 && seq[1] == 2 && seq[2] == 0, "the sequence of three is fixed");
check(core_CreateRndSequence(5, 5).len() == 0, "an empty range");
local big = core_CreateRndSequence(10, 40);
local seen = {};
foreach (i, v in big) {
    check(v != 10 + i, "every element leaves its place");
    seen[v] <- true;
}
check(big.len() == 30 && seen.len() == 30, "a permutation of the range");

local r = core_Rnd(0.0, 0.0);
check(typeof r == "float" && r >= 0.0 && r < 1.0, "zero bounds mean 0 to 1");
local n = core_Rnd(5, 10);
check(typeof n == "integer" && n >= 5 && n < 10, "integer bounds, upper excluded");
local t = {_seed = 99};
local a = core_Rnd(0.0, 1.0, t);
local after = t._seed;
t._seed = 99;
local b = core_Rnd(0.0, 1.0, t);
check(a == b, "the same seed gives the same value");
check(after != 99 && t._seed == after, "the table's seed advances");
local fresh = {};
core_Rnd(2.0, 4.0, fresh);
check("_seed" in fresh, "a table without a seed gets one");

local d = core_AddTime2Date({_day = 31, _month = 1, _year = 2024, _hour = 12, _min = 0, _sec = 0}, 86400);
check(d._day == 1 && d._month == 2 && d._year == 2024 && d._dayOfWeek == 4 && d._hour == 12,
      "31 January plus a day is Thursday 1 February");
local back = core_AddTime2Date({_day = 1, _month = 3, _year = 2024, _hour = 0, _min = 0, _sec = 30}, -60.5);
check(back._day == 29 && back._month == 2 && back._hour == 23 && back._min == 59, "back over a leap day");
local far = core_AddTime2Date({_day = 1, _month = 1, _year = 2024, _hour = 0, _min = 0, _sec = 0}, 100000001);
check(far._year == 2027 && far._month == 3 && far._day == 3 && far._hour == 9 && far._min == 46 && far._sec == 41,
      "whole seconds of a large integer are kept");

local text = core_SerializeObj({a = 1, b = "x"});
check(typeof text == "string" && text.len() > 0, "value text of a table");
local obj = core_DeserializeObj(text);
check(typeof obj == "table", "value text read back into a table");
local xml = core_DeserializeXml("<root a=\"1\"/>");
check(typeof xml == "table", "XML gives a table");
local nested = {name = "n", list = [3, 1, [2, "two"]], inner = {flag = true, f = 0.5, s = "a<b>\nc"}};
local back = core_DeserializeObj(core_SerializeObj(nested));
check(back.name == "n" && typeof back.list == "array" && back.list.len() == 3 && back.list[0] == 3
      && back.list[1] == 1, "an array inside a table keeps its order");
check(typeof back.list[2] == "array" && back.list[2][0] == 2 && back.list[2][1] == "two", "an array inside an array");
check(back.inner.flag == true && typeof back.inner.flag == "bool" && back.inner.f == 0.5
      && back.inner.s == "a<b>\nc", "a table inside a table, with a text that needs base64");
check(core_DeserializeObj(core_SerializeObj(null)) == null, "null comes back as null");
local none = core_DeserializeObj("no elements at all");
check(typeof none == "table" && none.len() == 0, "text without type elements gives an empty table");
local items = core_DeserializeXml("<root><array:item val=\"1\"/><array:item val=\"two\"/><size w=\"3\"/></root>");
check(typeof items.root.item == "array" && items.root.item.len() == 2 && items.root.item[0] == 1
      && items.root.item[1] == "two", "array: entries gather in an array");
check(items.root.size.w == 3, "attributes of an empty element give a table");
core_SetClipboard("no window here");
