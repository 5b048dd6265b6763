// Whole text files, the text-file cache, directives, file types and folder
// listings.
#include "utils_fs.h"

#include "msgbox_recorder.h"
#include "null_file_system.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs_bridge.h"
#include "utils_serialize_storage.h"
#include "utils_str_lng.h"

#include <gtest/gtest.h>

#include <IFileSystem.h>
#include <IReadFile.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string str(const CString& text)
{
    return (const char*)text;
}

// A program folder with a "data" folder mounted in a null-device file
// system, as the engine mounts it.
class TextFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        App = Folder.path() + "app/";
        Data = App + "data/";
        std::filesystem::create_directories(Data + "sub");
        SetAppFolder(App.c_str());
        SetLogFolder(Folder.path().c_str());
        GetDefaultEngineContext().ManifestLoaded = true;
        ClearTextFileCache();
    }
    void TearDown() override
    {
        ClearTextFileCache();
        GetDefaultEngineContext().ManifestLoaded = false;
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearNativePathCache();
    }

    void write(const std::string& name, const std::string& content) const { Folder.write("app/data/" + name, content); }
    void mountData() { ASSERT_TRUE(Fs.mount(Data, true)); }

    std::string readText(const char* name)
    {
        CString text = "previous";
        EXPECT_TRUE(ReadTextFile(name, text)) << name;
        return str(text);
    }

    std::vector<std::string> missingFileBoxes() const
    {
        std::vector<std::string> texts;
        for (const SRecordedBox& box : Boxes.Boxes)
            if (box.Text.rfind("Attemp to read nonexisted TEXT file\n", 0) == 0)
                texts.push_back(box.Text.substr(box.Text.find('\n') + 1));
        return texts;
    }

    std::string logText() const { return str(GetDebugLogBuffer()->Text); }

    CTempFolder Folder;
    std::string App, Data;
    CNullFileSystem Fs;
    CMessageBoxRecorder Boxes;
};

std::vector<std::string> toVector(const irr::core::array<irr::core::stringc>& list)
{
    std::vector<std::string> out;
    for (irr::u32 i = 0; i < list.size(); ++i)
        out.push_back(list[i].c_str());
    return out;
}

} // namespace

TEST_F(TextFileTest, RawReadsKeepBytesAndTextReadsDropCarriageReturns)
{
    write("crlf.txt", "a\r\nb\r\n");
    write("nul.txt", std::string("before\0after", 12));
    write("empty.txt", "");
    write("plain.txt", "no directives\r\nhere");
    mountData();

    CString raw;
    ASSERT_TRUE(ReadFileToString("crlf.txt", raw));
    EXPECT_EQ(str(raw), "a\r\nb\r\n");
    EXPECT_EQ(readText("crlf.txt"), "a\nb\n");
    EXPECT_EQ(readText("nul.txt"), "before");
    EXPECT_EQ(readText("empty.txt"), "");
    EXPECT_EQ(readText("plain.txt"), "no directives\nhere");
    EXPECT_TRUE(missingFileBoxes().empty());

    CString text = "previous";
    EXPECT_FALSE(ReadTextFile("none.txt", text));
    EXPECT_EQ(str(text), "previous");   // a failed read leaves the caller's text alone
    EXPECT_EQ(missingFileBoxes(), std::vector<std::string>{"none.txt"});
}

TEST_F(TextFileTest, ReadsAreTimedUnderTheirTraceTags)
{
    write("timed.txt", "x\r\n");
    mountData();
    GetProfilerReport();
    readText("timed.txt");   // a miss
    readText("timed.txt");   // a hit: no read, but cleaned again
    std::string report = (const char*)GetProfilerReport();
    struct {
        const char* Tag;
        const char* Count;
    } cases[] = {
        {"\tREADFILE|utils_fs_text.cpp:", "count=00002"},
        {"\tREADFILE-CACH MISS-READFILE|utils_fs_text.cpp:", "count=00001"},
        {"\tREADFILE-CACH MISS-ADD2MAP|utils_fs_text.cpp:", "count=00001"},
        {"\tREADFILE-CACH MISS-HANDLIING|utils_fs_text.cpp:", "count=00002"},
    };
    for (const auto& c : cases) {
        std::size_t at = report.find(c.Tag);
        ASSERT_NE(at, std::string::npos) << c.Tag << report;
        std::size_t lineStart = report.rfind('\n', at) + 1;
        EXPECT_NE(report.substr(lineStart, at - lineStart).find(c.Count), std::string::npos) << c.Tag << report;
    }
}

TEST_F(TextFileTest, CacheKeepsWhatWasReadUntilWrittenOrCleared)
{
    std::string path = Data + "cached.txt";
    write("cached.txt", "one");
    write("empty.txt", "");
    CString text;
    ASSERT_TRUE(ReadFileCached(path.c_str(), text));
    write("cached.txt", "two");
    ASSERT_TRUE(ReadFileCached(path.c_str(), text));
    EXPECT_EQ(str(text), "one");   // changed behind the engine's back: unseen

    ASSERT_TRUE(WriteStringToFile(path.c_str(), "three"));
    ASSERT_TRUE(ReadFileCached(path.c_str(), text));
    EXPECT_EQ(str(text), "three");

    write("cached.txt", "four");
    EXPECT_TRUE(ClearTextFileCache());
    ASSERT_TRUE(ReadFileCached(path.c_str(), text));
    EXPECT_EQ(str(text), "four");

    // An empty file is cached as empty, never as the caller's old text.
    std::string empty = Data + "empty.txt";
    text = "stale";
    ASSERT_TRUE(ReadFileCached(empty.c_str(), text));
    EXPECT_EQ(str(text), "");
    text = "stale";
    ASSERT_TRUE(ReadFileCached(empty.c_str(), text));
    EXPECT_EQ(str(text), "");

    // A failed read is not kept.
    std::string later = Data + "later.txt";
    EXPECT_FALSE(ReadFileCached(later.c_str(), text));
    write("later.txt", "now here");
    ASSERT_TRUE(ReadFileCached(later.c_str(), text));
    EXPECT_EQ(str(text), "now here");
}

TEST_F(TextFileTest, IncludesNestAndThisFolderIsTheFilesOwn)
{
    write("main.txt", "A ${include(sub\\inc.txt)}\r\nB ${include(sub\\inc.txt)}");
    write("sub/inc.txt", "[${thisfolder}\\x.png ${include(deeper.txt)}]");
    write("sub/deeper.txt", "deep in ${thisfolder}\\${include(..\\leaf.txt)}");
    write("leaf.txt", "!");
    mountData();

    EXPECT_EQ(readText("main.txt"), "A [sub\\x.png deep in sub\\!]\nB [sub\\x.png deep in sub\\!]");
    std::string absolute = Data + "sub/inc.txt";
    EXPECT_EQ(readText(absolute.c_str()), "[sub\\x.png deep in sub\\!]");
    EXPECT_TRUE(missingFileBoxes().empty());

    // The cache keeps the raw text; the directives are expanded on each read.
    CString raw;
    ASSERT_TRUE(ReadFileCached("sub\\inc.txt", raw));
    EXPECT_EQ(str(raw), "[${thisfolder}\\x.png ${include(deeper.txt)}]");
}

TEST_F(TextFileTest, BadDirectivesEndAndAreRemoved)
{
    write("self.txt", "x${include(self.txt)}y");
    write("a.txt", "a[${include(b.txt)}]");
    write("b.txt", "b(${include(A.TXT)})");
    write("open.txt", "p ${include(q.txt");
    write("empty.txt", "e${include()}f");
    write("missing.txt", "m${include(none.txt)}n");
    write("wide.txt", "w${include(utf16.txt)}w");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("UTF-16 text"))
        utf16 += std::string{c, '\0'};
    write("utf16.txt", utf16);
    mountData();
    struct {
        const char* Name;
        const char* Expected;
        const char* Logged;
    } cases[] = {
        {"self.txt", "xy", "A file includes itself: self.txt"},
        {"a.txt", "a[b()]", "A file includes itself: A.TXT"},
        {"open.txt", "p q.txt", "Include directive without its end in open.txt"},
        {"empty.txt", "ef", "Include without a file name in empty.txt"},
        {"missing.txt", "mn", nullptr},
        {"wide.txt", "ww", "Cannot read 'utf16.txt': it is UTF-16 text, which the engine does not read"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readText(c.Name), c.Expected) << c.Name;
        if (c.Logged) {
            EXPECT_NE(logText().find(c.Logged), std::string::npos) << c.Logged;
        }
    }
    EXPECT_EQ(missingFileBoxes(), std::vector<std::string>{"none.txt"});
}

TEST_F(TextFileTest, DeepIncludeChainsStop)
{
    const int files = 20;
    for (int i = 0; i < files; ++i)
        write("f" + std::to_string(i) + ".txt", std::to_string(i) + " ${include(f" + std::to_string(i + 1) + ".txt)}");
    mountData();
    std::string text = readText("f0.txt");
    EXPECT_EQ(text.find("${include("), std::string::npos);
    EXPECT_NE(text.find("15 "), std::string::npos);
    EXPECT_EQ(text.find("16 "), std::string::npos);
    EXPECT_NE(logText().find("Includes nested too deeply: f16.txt in f15.txt"), std::string::npos);
}

TEST_F(TextFileTest, FoldersAndPipesAreNoFilesToRead)
{
    // A folder opens through the file system like a file, with a size of
    // about 2^63: reading it would allocate that much.
    write("sub/a.txt", "text");
    mountData();
    enum Kind { Missing, Folder, File };
    struct Case {
        std::string name;
        Kind kind;
    };
    const Case cases[] = {
        {"sub", Missing}, {"sub/", Folder}, {"sub\\", Folder}, {Data + "sub", Folder}, {Data, Folder},
        {"sub/a.txt", File}, {"sub\\a.txt", File}, {"missing.txt", Missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        irr::io::IReadFile* file = OpenDataFile(ToArchiveName(c.name.c_str()));
        EXPECT_EQ(file != nullptr, c.kind == File);
        if (file)
            file->drop();
        EXPECT_EQ(NamesNoPlainFile(ToArchiveName(c.name.c_str())), c.kind == Folder);
        CString text = "previous";
        EXPECT_EQ(ReadFileToString(c.name.c_str(), text), c.kind == File);
        EXPECT_EQ(str(text), c.kind == File ? "text" : "previous");
    }

    // A named pipe in the player's folder, or one the game's mount of the
    // data met, is no file either, and looking at it must not wait for a
    // writer: a child does, and is stopped if it hangs.
    ASSERT_EQ(::mkfifo((Data + "sub/pipe.txt").c_str(), 0600), 0);
    Fs.get()->removeFileArchive(0u);
    mountData();
    for (const std::string& pipe : {this->Folder.file("profile.ini"), std::string("sub/pipe.txt")}) {
        SCOPED_TRACE(pipe);
        if (pipe[0] == '/') {
            ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20);
            CString text;
            irr::io::IReadFile* file = OpenDataFile(pipe.c_str());
            _exit(!file && (pipe[0] != '/' || NamesNoPlainFile(pipe.c_str())) && !ReadFileToString(pipe.c_str(), text)
                      ? 0
                      : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (WIFSIGNALED(status) ? "stuck on the pipe" : "taken for a file");
    }
}

// A data file that is there but cannot be read is logged with the system's
// reason, whichever reader asked; what the reader then makes of the missing
// text is its own report.
TEST_F(TextFileTest, UnreadableDataFilesLogTheSystemsReason)
{
    std::filesystem::create_directories(Data + "folder.spr");
    std::filesystem::create_symlink("loop.spr", Data + "loop.spr");   // unreadable even for root
    write("locked.spr", "-Name:x");
    mountData();
    struct Case {
        std::string Name;
        int Error;
    };
    std::vector<Case> cases = {{"folder.spr", EISDIR}, {"loop.spr", ELOOP}, {"none.spr", ENOENT}};
    if (::geteuid() != 0) {
        std::filesystem::permissions(Data + "locked.spr", std::filesystem::perms::none);
        cases.push_back({"locked.spr", EACCES});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CString text = "previous";
        EXPECT_FALSE(ReadTextFile(c.Name.c_str(), text));
        CXMLStorage storage;
        storage.openFile(ToArchiveName(c.Name.c_str()));
        const std::string log = logText();
        const std::string reason = std::string(": ") + std::strerror(c.Error) + "\n";
        int lines = 0;
        for (size_t at = log.find("Cannot read '" + c.Name + "'"); at != std::string::npos;
             at = log.find("Cannot read '" + c.Name + "'", at + 1)) {
            EXPECT_EQ(log.compare(log.find('\n', at) - reason.size() + 1, reason.size(), reason), 0)
                << log.substr(at, log.find('\n', at) - at);
            ++lines;
        }
        EXPECT_EQ(lines, 2) << log;
    }

    // So is a folder the mount may not read, which it leaves out. Root reads
    // everything: a child mounts the data without the capabilities that pass
    // over file modes then, still as the owner of the folders above (a
    // temporary folder only its owner may enter, say).
    std::filesystem::create_directories(Data + "closed/inner");
    std::filesystem::permissions(Data + "closed", std::filesystem::perms::none);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct caps[2]{};
            if (::syscall(SYS_capget, &header, caps) != 0)
                _exit(2);
            for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
                caps[cap / 32].effective &= ~(1u << (cap % 32));
            if (::syscall(SYS_capset, &header, caps) != 0)
                _exit(2);
        }
        _exit(Fs.mount(Data, true) &&
                      logText().find("the folder 'closed' is left out, it cannot be read: Permission denied\n") !=
                          std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    std::filesystem::permissions(Data + "closed", std::filesystem::perms::owner_all);
}

// A mounted folder's list is made when it is mounted; a file written into it
// later is found and read under its data name all the same, and replacing a
// file drops what was cached under that name, also when the data folder is
// a link to a folder elsewhere.
TEST_F(TextFileTest, FilesWrittenIntoAMountedFolderAreSeen)
{
    // Each layout writes its own names: what one wrote stays known to the next.
    const struct {
        std::string App;
        const char* LinkedTo;   // the data folder is a link to this folder, else a folder
        std::string Sub;        // as scripts spell it; in lower case on disk
    } layouts[] = {
        {"app/", nullptr, "Sub"},
        {"linked/", "elsewhere", "Deep"},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.App);
        const std::string app = Folder.path() + layout.App;
        const std::string data = app + "data/";
        std::string sub = layout.Sub;
        std::transform(sub.begin(), sub.end(), sub.begin(), [](char c) { return char(std::tolower((unsigned char)c)); });
        if (layout.LinkedTo) {
            std::filesystem::create_directories(Folder.path() + layout.LinkedTo);
            std::filesystem::create_directories(app);
            std::filesystem::create_directory_symlink(std::string("../") + layout.LinkedTo, app + "data");
        }
        std::filesystem::create_directories(data + sub);
        SetAppFolder(app.c_str());
        Folder.write(layout.App + "data/" + sub + "/old.spr", "-Name:old");
        ASSERT_TRUE(Fs.mount(data, true));
        const std::string spelled = layout.Sub + "\\";
        ASSERT_EQ(readText((spelled + "Old.spr").c_str()), "-Name:old");
        ASSERT_FALSE(FileExists((sub + "\\rt.spr").c_str()));

        ASSERT_TRUE(WriteStringToFile((data + sub + "/rt.spr").c_str(), "-Name:new\r\n"));
        ASSERT_TRUE(WriteStringToFile((data + sub + "/old.spr").c_str(), "-Name:changed"));
        std::filesystem::current_path(app);   // the game's working folder
        ASSERT_TRUE(WriteStringToFile(("data\\" + spelled + "rel.spr").c_str(), "-Name:relative"));
        EXPECT_TRUE(FileExists((sub + "\\rt.spr").c_str()));
        EXPECT_EQ(str(GetExistingDataPath((sub + "\\rt.spr").c_str())), sub + "\\rt.spr");
        EXPECT_EQ(readText((sub + "\\rt.spr").c_str()), "-Name:new\n");
        EXPECT_EQ(readText((spelled + "Old.spr").c_str()), "-Name:changed");
        EXPECT_EQ(readText((sub + "\\rel.spr").c_str()), "-Name:relative");
        Fs.get()->removeFileArchive(Fs.get()->getFileArchiveCount() - 1);
    }
    EXPECT_TRUE(missingFileBoxes().empty());
}

TEST(FileTypes, SubstringRulesInOrder)
{
    struct {
        const char* Name;
        int Type;
    } cases[] = {
        {"a.spr", -1},          {"raw://x", 8},          {"raw://-Texture:a.png", 8},
        {"dlg\\a.spr", 4},      {"a.spr.png", 4},        {"x.jpg.txt", 9},
        {"pic\\a.png", 9},      {"pic\\a.jpg", 9},       {"text\\a.txt", 3},
        {"sound.wav", 1},       {"menu.dlg", 6},         {"script.nut", 5},
        {"fx\\p.cfg", 7},       {"sprite.SPR", -1},      {"data\\x.bmp", -1},
        {"", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileType(c.Name), c.Type) << c.Name;
    EXPECT_EQ(GetFileType(nullptr), -1);
}

TEST_F(TextFileTest, ImageTypeIgnoresTheProgramFolder)
{
    std::string app = Folder.path() + "My.png Games/";
    SetAppFolder(app.c_str());
    EXPECT_EQ(GetImageFileType((app + "data/a.spr").c_str()), -1);
    EXPECT_EQ(GetImageFileType((Folder.path() + "MY.PNG GAMES\\data\\a.spr").c_str()), -1);
    EXPECT_EQ(GetImageFileType((app + "data/a.jpg").c_str()), 9);
    EXPECT_EQ(GetImageFileType("pic\\b.png"), 9);   // no program folder in the name
    EXPECT_EQ(GetImageFileType("pic\\b.bmp"), -1);
    // Cutting the folder out may join an extension together.
    EXPECT_EQ(GetImageFileType(("x.p" + app + "ng").c_str()), 9);
}

TEST_F(TextFileTest, StripBaseDirRemovesEveryDataFolderSpelling)
{
    std::string upper = Data;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return char(std::toupper((unsigned char)c)); });
    std::string backslashed = Data;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    struct Case { std::string In, Out; };
    const Case cases[] = {
        {Data + "pic/a.png", "pic/a.png"},
        {upper + "Pic\\A.png", "Pic\\A.png"},
        {backslashed + "x.spr|" + Data + "y.spr", "x.spr|y.spr"},
        {"textures/a.png", "textures/a.png"},
        {Data.substr(0, Data.size() - 1), Data.substr(0, Data.size() - 1)},   // without the last separator
        {"", ""},
    };
    for (const Case& c : cases) {
        CString path = c.In.c_str();
        StripBaseDir(path);
        EXPECT_EQ(std::string((const char*)path), c.Out) << c.In;
    }
}

TEST_F(TextFileTest, ListFolderRecursesSkipsAndLowerCases)
{
    for (const char* folder : {"Scripts/Sub", ".svn", "svnstuff", "menu-parts", "Textures"})
        std::filesystem::create_directories(Data + folder);
    for (const char* file : {"Scripts/Main.NUT", "Scripts/Sub/Helper.nut", "Scripts/readme.txt", ".svn/x.nut",
                             "svnstuff/y.nut", "menu-parts/z.nut", "Scripts/menu-x.nut", ".hidden.nut",
                             "Textures/Wall.png", "top.nut"})
        write(file, "x");
    std::string previous = str(Fs.get()->getWorkingDirectory().c_str());

    irr::core::array<irr::core::stringc> list;
    ListFolder(list, "", "*.NUT", Data.c_str());
    std::vector<std::string> names = toVector(list);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"scripts\\main.nut", "scripts\\sub\\helper.nut", "top.nut"}));

    ListFolder(list, "scripts", "*.nut", Data.c_str());   // nothing new: no duplicates
    EXPECT_EQ(list.size(), 3u);

    irr::core::array<irr::core::stringc> all;
    ListFolder(all, "Textures", "", Data.c_str());
    EXPECT_EQ(toVector(all), std::vector<std::string>{"textures\\wall.png"});

    irr::core::array<irr::core::stringc> absolute;
    ListFolder(absolute, (Data + "scripts").c_str(), "*.txt", "");
    EXPECT_EQ(toVector(absolute), std::vector<std::string>{Data + "scripts/readme.txt"});

    // A leading backslash names the data's top, not the disk's root.
    irr::core::array<irr::core::stringc> top;
    ASSERT_TRUE(Fs.get()->changeWorkingDirectoryTo(Data.c_str()));
    ListFolder(top, "\\Textures", "", "");
    ASSERT_TRUE(Fs.get()->changeWorkingDirectoryTo(previous.c_str()));
    EXPECT_EQ(toVector(top), std::vector<std::string>{"textures\\wall.png"});

    // Outside the game's folders a listing stops after a bounded number of
    // entries, as one of the disk's root would otherwise read every folder on
    // it; the game's data is listed whole, however many files it holds.
    std::filesystem::create_directories(Folder.path() + "many");
    for (int i = 0; i < 5000; ++i)
        Folder.write("many/" + std::to_string(i) + ".png", "");
    irr::core::array<irr::core::stringc> outside;
    ListFolder(outside, (Folder.path() + "many").c_str(), "*.png", "");
    EXPECT_GT(outside.size(), 1000u);
    EXPECT_LE(outside.size(), 4096u);
    // So are the user folder, also when reached through a link, a folder
    // mounted from outside the program folder, and one the data's mount
    // walked through a link, links inside it too; the listing follows the
    // links the mount followed and no others. Each row moves the files there.
    const std::string user = Folder.path() + "user", link = Folder.path() + "link", mounted = Folder.path() + "ext";
    const std::string shared = Folder.path() + "shared", huge = Folder.path() + "huge";
    std::filesystem::create_directory(user);
    std::filesystem::create_directory_symlink(user, link);
    const struct {
        std::string Place, Folder, Prefix;
        std::string UserFolder;   // none when empty
        size_t Listed;
        // Made before the data is mounted, when named: a name in the data or a full path.
        std::string LinkName = "", LinkTarget = "";
        size_t MountLimit = SFolderMountLimits().Entries;
    } whole[] = {
        {Data + "many", "many", Data, "", 5000},
        {Data + "many", "\\", Data, "", 5001},   // the top also holds textures\wall.png
        {user + "/many", user + "/many", "", user + "/many", 5000},
        {user + "/many", link + "/many", "", link + "/many", 5000},
        {mounted, mounted, "", "", 5000},
        {shared, "shared", Data, "", 5000, "shared", "../../shared"},
        {Data + "many", "many", Data, "", 5000, "up", ".."},   // the program folder, which holds the data
        {Data + "many", "textures", Data, "", 1, "Textures/up", ".."},   // back to the top: not followed
        {Data + "many", "textures\\up", Data, "", 0},                    // nor listed from
        {Data + "many", "textures\\up\\many", Data, "", 0},               // nor from below it
        {shared, "shared", Data, "", 5000, shared + "/home", "../app/data"},   // back to the data from outside
        {Folder.path() + "inner", "shared\\inner", Data, "", 5000, shared + "/inner", "../inner"},
        {Data + "b", "b", Data, "", 5000, "a/tob", "../b"},
        {Data + "b", "a\\tob", Data, "", 5000, "b/toa", "../a"},   // each way walked, the other way back not
        {Data + "b", "b\\toa\\tob", Data, "", 0},
        {Data + "many", "\\", Data, "", 5001, "dangling.png", "nowhere.png"},   // a link to nothing is no name
        {huge, "huge", Data, "", 0, "huge", "../../huge", 1000},   // left out: too much for the mount
    };
    std::string at = Folder.path() + "many";
    for (const auto& c : whole) {
        SCOPED_TRACE(c.Folder);
        std::filesystem::rename(at, c.Place);
        at = c.Place;
        const std::string ul = "-ul=" + c.UserFolder;
        const char* args[] = {"game", ul.c_str()};
        SetCommandLineArgs(c.UserFolder.empty() ? 1 : 2, args);
        ResetUserFolder();
        if (!c.UserFolder.empty())
            GetUserFolder();
        if (c.Place == mounted) {
            EXPECT_TRUE(Fs.mount(mounted, true));
        }
        if (!c.LinkName.empty()) {
            const std::string name = c.LinkName[0] == '/' ? c.LinkName : Data + c.LinkName;
            std::filesystem::create_directories(std::filesystem::path(name).parent_path());
            std::filesystem::create_symlink(c.LinkTarget, name);
            EXPECT_TRUE(Fs.mount(Data, true, {c.MountLimit}));
        }
        irr::core::array<irr::core::stringc> many;
        ListFolder(many, c.Folder.c_str(), "*.png", c.Prefix.c_str());
        EXPECT_EQ(many.size(), c.Listed);
    }
    EXPECT_FALSE(FileExists("dangling.png"));
    // Links in the user folder that each lead on to two more: every way is a
    // name of its own, 8,191 in all, and the listing stops after so many reads.
    for (int depth = 0; depth < 12; ++depth) {
        const std::string level = user + "/d" + std::to_string(depth), next = "../d" + std::to_string(depth + 1);
        std::filesystem::create_directory(level);
        Folder.write("user/d" + std::to_string(depth) + "/x.png", "");
        std::filesystem::create_directory_symlink(next, level + "/l");
        std::filesystem::create_directory_symlink(next, level + "/r");
    }
    const std::string ul = "-ul=" + user;
    const char* args[] = {"game", ul.c_str()};
    SetCommandLineArgs(2, args);
    ResetUserFolder();
    GetUserFolder();
    irr::core::array<irr::core::stringc> ways;
    ListFolder(ways, (user + "/d0").c_str(), "*.png", "", 1000);
    EXPECT_GT(ways.size(), 100u);
    EXPECT_LT(ways.size(), 1000u);
    EXPECT_NE(logText().find("/d0' stopped after 1000 entries"), std::string::npos);
    const char* plain[] = {"game"};
    SetCommandLineArgs(1, plain);
    ResetUserFolder();

    irr::core::array<irr::core::stringc> none;
    ListFolder(none, "no-such-folder", "", Data.c_str());
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(str(Fs.get()->getWorkingDirectory().c_str()), previous);

    // The listed names read back through the path bridge.
    CString text;
    EXPECT_TRUE(ReadFileToString((Data + str(list[0].c_str())).c_str(), text));
}
