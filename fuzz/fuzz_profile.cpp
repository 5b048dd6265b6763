// A player's files, a profile and a high-score table made of the same bytes:
// each loaded, saved, loaded again; the second load must give the values of
// the first.
#include "fuzz_host.h"

#include "module_highscores.h"
#include "module_userprofile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

void writeFile(const std::string& path, const char* bytes, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes, std::streamsize(size));
}

void expectSame(const CString& read, const CString& again)
{
    if (!SameSavedValues(read, again)) {
        std::fprintf(stderr, "first load:\n%s\nsecond load:\n%s\n", (const char*)read, (const char*)again);
        std::abort();   // saving lost or changed a value
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    (void)host;
    CUserProfile* first = new CUserProfile("fuzz");
    const std::string path = (const char*)first->getFilePath("", 1);
    writeFile(path, reinterpret_cast<const char*>(bytes), size);
    RunAllowingFatalEnd([&] {
        first->load();
        const CString read = first->toText();
        first->markChanged();
        first->save();
        CUserProfile* second = new CUserProfile("fuzz");
        second->load();
        const CString again = second->toText();
        second->drop();
        expectSame(read, again);
    });
    RunAllowingFatalEnd([&] {
        CHighScores scores;
        scores.load("main", path.c_str());
        const CString read = scores.toText();
        writeFile(path, read, size_t(read.GetLength()));
        CHighScores second;
        second.load("main", path.c_str());
        expectSame(read, second.toText());
    });
    first->drop();
    return 0;
}
