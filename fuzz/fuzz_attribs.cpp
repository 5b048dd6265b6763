// Custom-attribute text in both forms: option lines as profiles keep them,
// written and read again to the same values, and name[value] items.
#include "utils_str_attribs.h"

#include "fuzz_host.h"

#include "utils_assert.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static bool quiet = [] {   // a malformed item is asserted, and the game goes on
        SetAssertHook([](const char*, int, const char*) {});
        return true;
    }();
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    CCustomAttribs read;
    read.fromText(text.c_str(), false);
    const CString written = read.toText(nullptr, nullptr);
    CCustomAttribs back;
    back.fromText(written, false);
    if (!SameSavedValues(back.toText(nullptr, nullptr), written)) {
        std::fprintf(stderr, "written:\n%s\nread back:\n%s\n", (const char*)written,
                     (const char*)back.toText(nullptr, nullptr));
        std::abort();   // an option was lost or changed on its way through the file
    }
    CCustomAttribs items;
    items.parseDescription(text.c_str(), false);
    return 0;
}
