// Description text readers: key values, components, inline scripts, paths.
#include "node_helpers_desc.h"

#include "node_factory.h"

#include "utils_assert.h"
#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_system_common.h"

#include "sqstdstring.h"

#include <atomic>
#include <cstring>

namespace {

// The opening "[" + tag + "[" of a tagged block; tags are at most this long.
constexpr int MaxBlockTag = 9;

std::atomic<InlineScriptRunner> g_inlineRunner{nullptr};

// A line feed followed by "-" or "[": where a multi-line value ends. Compiled
// once and kept for the life of the process. The pattern spells the line feed
// as an escape: the expression compiler takes printable characters only.
SQRex* getValueEndRegex()
{
    static SQRex* const regex = sqstd_rex_compile("\\n[\\-\\[]", nullptr);
    ENGINE_ASSERT(regex);
    return regex;
}

// First "\n-" or "\n[" at or after from; null when there is none.
const char* findValueEnd(const char* from)
{
    SQRex* regex = getValueEndRegex();
    const char* begin = nullptr;
    return regex && sqstd_rex_search(regex, from, &begin, nullptr) ? begin : nullptr;
}

// blockStart points at the "[" right after the key.
CString readTaggedBlock(const char* blockStart)
{
    const char* tagStart = blockStart + 1;
    const char* tagEnd = tagStart;
    while (*tagEnd && *tagEnd != '[' && tagEnd - tagStart <= MaxBlockTag)
        ++tagEnd;
    if (*tagEnd != '[' || tagEnd - tagStart > MaxBlockTag)
        return CString();   // not a tagged block: reads as absent
    CString tag(tagStart, int(tagEnd - tagStart));
    CString closing = "]" + tag + "]";
    const char* valueStart = tagEnd + 1;
    const char* valueEnd = std::strstr(valueStart, closing);
    if (!valueEnd)
        return CString();
    return CString(valueStart, int(valueEnd - valueStart));
}

const char* skipBlanks(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

// Optional sign and decimal digits, wrapping like an unsigned 32-bit counter.
uint32_t parseUInt(const char* text)
{
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    uint32_t value = 0;
    while (IsDigitChar((unsigned char)*text))
        value = value * 10u + uint32_t(*text++ - '0');
    return negative ? 0u - value : value;
}

// The letter's component text, or null when the letter does not occur.
const char* findComponent(const char* value, char letter)
{
    const char* at = std::strchr(value, letter);
    return at ? at + 1 : nullptr;
}

bool isInlineScript(const char* text) { return std::strncmp(text, "${Sq", 4) == 0; }

void evaluatePlain(const char* text, CString* str, int* number, float* real)
{
    if (str)
        *str = text;
    if (number)
        *number = StrToInt(text);
    if (real)
        *real = StrToFloat(text);
}

}  // namespace

InlineScriptRunner SetInlineScriptRunner(InlineScriptRunner runner)
{
    return g_inlineRunner.exchange(runner);
}

int getKeyValue(const char* text, const char* key, CString& value)
{
    value.Empty();
    if (!text || !key || !*key)
        return 0;
    const char* found = std::strstr(text, key);
    if (!found)
        return 0;
    const char* next = found + std::strlen(key);
    if (*next == '[') {
        value = readTaggedBlock(next);
    } else if (*next == '\n') {
        // The first line always belongs, even when it starts with "-".
        const char* start = next + 1;
        const char* end = findValueEnd(start);
        value = end ? CString(start, int(end - start)) : CString(start);
    } else {
        const char* end = std::strchr(next, '\n');
        if (end)
            value = CString(next, int(end - next));
    }
    return value.GetLength();
}

int readIntComponent(const char* value, char letter, int def)
{
    if (!value)
        return def;
    const char* text = letter ? findComponent(value, letter) : value;
    if (!text)
        return def;
    int number = 0;
    evaluateDescriptionValue(text, nullptr, &number, nullptr);
    return number;
}

uint32_t readUIntComponent(const char* value, char letter, uint32_t def)
{
    if (!value)
        return def;
    const char* text = letter ? findComponent(value, letter) : value;
    if (!text)
        return def;
    if (!isInlineScript(text))
        return parseUInt(text);
    int number = 0;
    evaluateDescriptionValue(text, nullptr, &number, nullptr);
    return uint32_t(number);
}

float readFloatComponent(const char* value, char letter, float def)
{
    return readFloatComponentEx(value, letter, def, false);
}

float readFloatComponentEx(const char* value, char letter, float def, bool lengths)
{
    if (!value)
        return def;
    if (letter == 0) {
        if (std::strchr(value, ','))
            EngineMessageBox(Format("Warning! whorg float delimiter used: %s", value), MB_OK);
        const char* text = skipBlanks(value);
        return lengths ? ParseLength(text) : StrToFloat(text);
    }
    const char* text = findComponent(value, letter);
    if (!text)
        return def;
    float number = 0.0f;
    evaluateDescriptionValue(text, nullptr, nullptr, &number);
    return number;
}

CString readStringValue(const char* value, char letter, const char* def)
{
    const char* text = value ? (letter ? findComponent(value, letter) : value) : nullptr;
    if (!text)
        return CString(def ? def : "");
    CString trimmed(text);
    trimmed.TrimLeft();
    trimmed.TrimRight();
    CString result;
    evaluateDescriptionValue(trimmed, &result);
    return result;
}

void evaluateDescriptionValue(const char* text, CString* str, int* number, float* real)
{
    if (!text)
        text = "";
    if (!isInlineScript(text)) {
        evaluatePlain(text, str, number, real);
        return;
    }
    const char* close = std::strchr(text, '}');
    if (!close || close - text < 5) {
        // "${Sq}" or no closing brace: there is no code to run.
        AssertFailed(__FILE__, __LINE__, Format("Wrong inplace script in\n\n'%s'", text));
        evaluatePlain("", str, number, real);
        return;
    }
    bool useCache = text[5] != '?';
    const char* codeStart = text + (useCache ? 5 : 6);
    CString code(codeStart, int(close - codeStart));
    InlineScriptRunner runner = g_inlineRunner.load();
    if (!runner) {
        evaluatePlain("", str, number, real);
        return;
    }
    runner(code, useCache, str, number, real);
}

CString resolveTexturePath(const char* path, const char* baseFile, const char* ownerPath)
{
    if (!path)
        return CString();
    // "?fill[...]" and the like are generated pictures, never files.
    if (IsAbsolutePath(path) || path[0] == '?')
        return CString(path);
    if (path[0] == '\\')
        return CString(path + 1);
    const char* base = ownerPath ? ownerPath : baseFile;
    CString folder = GetPathPart(base ? base : "", 1, 1, 0, 0);
    return AppendPath(folder, path);
}

CString resolveTexturePath(const char* path, const char* baseFile, const SSpriteCreateInfo* createInfo)
{
    const bool owned = createInfo && !createInfo->ownerPath.IsEmpty();
    return resolveTexturePath(path, baseFile, owned ? (const char*)createInfo->ownerPath : nullptr);
}

CString resolveTexturePath(const char* path, const char* baseFile, std::nullptr_t)
{
    return resolveTexturePath(path, baseFile, static_cast<const char*>(nullptr));
}

int readBracketValue(const char* text, const char* name, CString& value)
{
    value.Empty();
    if (!text || !name)
        return 0;
    value = GetTextBetween(CString(name) + "[", "]", text);
    return value.GetLength();
}
