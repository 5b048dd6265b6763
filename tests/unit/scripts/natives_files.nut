// Files and data paths, run by module_scripting_funcs_test; dataFolder is the test's folder.
check(core_ReadTextFile("data\\crlf.txt") == "one\ntwo\n", "text reads lose carriage returns");
check(core_ReadFile(core_GetDataPath("data\\crlf.txt")) == "one\r\ntwo\r\n", "raw reads keep them");
check(core_ReadFile(core_GetDataPath("data\\Nul.bin")) == "ab", "raw reads end at the first NUL");
check(core_ReadFile(dataFolder + "nothing.bin") == "", "a missing raw file reads empty");
check(core_IsDataPathExist("data\\crlf.txt"), "an existing data file");
check(!core_IsDataPathExist("data\\missing.txt"), "a missing data file");
check(core_GetDataPath("data\\missing.txt").find("missing.txt") != null, "a missing file still has a path");
check(core_GetDataPath("/abs/file.txt") == "/abs/file.txt", "absolute paths are kept");
check(core_AddDataPath("data\\crlf.txt") == core_GetDataPath("data\\crlf.txt"), "AddDataPath only resolves");
local p = dataFolder + "saved.txt";
core_SaveFile(p, "old");
check(core_ReadTextFile(p) == "old", "the first save reads back");
core_SaveFile(p, "new text");
check(core_ReadTextFile(p) == "new text", "saving drops the cached text");
local ft = core_GetFileTime(p);
check(ft._year >= 2020 && ft._month >= 1 && ft._month <= 12, "the file time of a new file");
local none = core_GetFileTime(dataFolder + "nothing");
check(none._year == 0 && none._day == 0, "a missing file's time is zero");
