// XML storage and the memory read file.
#include "utils_serialize_storage.h"

#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include "codepage.h"

#include <IFileSystem.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using namespace irr;

namespace {

const char* const MemoryFileName = "memfile";
const unsigned char Utf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr int MaxRecordPiece = 200;
constexpr int MaxRecordLength = 500;

bool startsWithUtf8Mark(const char* text, int length)
{
    return text && length >= 3 && std::memcmp(text, Utf8Mark, 3) == 0;
}

// FF FE, the UTF-16LE units of the text, two zero bytes; from new[].
char* makeUtf16Buffer(const std::u16string& wide, int& length)
{
    length = int(wide.size()) * 2 + 4;
    char* buffer = new char[length]();
    buffer[0] = char(0xFF);
    buffer[1] = char(0xFE);
    for (size_t i = 0; i < wide.size(); ++i) {
        buffer[2 + 2 * i] = char(wide[i] & 0xFF);
        buffer[3 + 2 * i] = char(wide[i] >> 8);
    }
    return buffer;
}

std::unique_ptr<wchar_t[]> toWide(const char* text)
{
    return std::unique_ptr<wchar_t[]>(AnsiToWideAlloc(text ? text : ""));
}

CString toAnsi(const wchar_t* text)
{
    if (!text)
        return CString();
    std::unique_ptr<char[]> ansi(WideToAnsiAlloc(text));
    return CString(ansi.get());
}

// The text of a file starting with a UTF-16 (either order) or UTF-32LE byte
// order mark, up to its first NUL or its last whole character.
std::u16string decodeWideFile(const std::string& bytes)
{
    const bool utf32 = bytes.size() >= 4 && bytes.compare(0, 4, std::string("\xFF\xFE\0\0", 4)) == 0;
    const bool bigEndian = bytes[0] == char(0xFE);
    const size_t width = utf32 ? 4 : 2;
    std::u16string text;
    for (size_t at = width; at + width <= bytes.size(); at += width) {
        char32_t c = 0;
        for (size_t i = 0; i < width; ++i) {
            const size_t byte = bigEndian ? at + i : at + width - 1 - i;
            c = (c << 8) | uint8_t(bytes[byte]);
        }
        if (c == 0)
            break;
        if (c > 0x10FFFF) {
            c = '?';
        } else if (c > 0xFFFF) {
            c -= 0x10000;
            text += char16_t(0xD800 + (c >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        text += char16_t(c);
    }
    return text;
}

bool hasLineFeed(const char* text)
{
    return text && std::strchr(text, '\n');
}

bool isMarkupSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameChar(char c)
{
    return c && !isMarkupSpace(c) && !std::strchr("<>/=\"'!?&", c);
}

// End of the piece "open ... close" starting at i, or -1 when it never closes.
int endOfDelimited(const char* text, int length, int i, const char* open, const char* close)
{
    int closeLength = int(std::strlen(close));
    for (int j = i + int(std::strlen(open)); j + closeLength <= length; ++j)
        if (std::memcmp(text + j, close, size_t(closeLength)) == 0)
            return j + closeLength;
    return -1;
}

// End of a comment or declaration starting with "<!" at i, as the reader
// finds it: at the '>' that balances every '<' met on the way, not at "-->".
// It runs past its buffer when none does, and takes the text as ending three
// characters before that '>', two after "<!", so a shorter one is malformed.
int endOfDeclaration(const char* text, int length, int i)
{
    int open = 1;
    for (int j = i + 2; j < length; ++j) {
        if (text[j] == '<')
            ++open;
        else if (text[j] == '>' && --open == 0)
            return j + 1 - (i + 2) >= 5 ? j + 1 : -1;
    }
    return -1;
}

bool startsWith(const char* text, int length, int i, const char* prefix)
{
    int n = int(std::strlen(prefix));
    return i + n <= length && std::memcmp(text + i, prefix, size_t(n)) == 0;
}

// End of the element or end tag starting with '<' at i, or -1 when malformed.
int endOfTag(const char* text, int length, int i)
{
    int j = i + 1;
    bool closing = j < length && text[j] == '/';
    if (closing)
        ++j;
    int nameStart = j;
    while (j < length && isNameChar(text[j]))
        ++j;
    if (j == nameStart)
        return -1;
    for (;;) {
        while (j < length && isMarkupSpace(text[j]))
            ++j;
        if (j >= length)
            return -1;
        if (text[j] == '>')
            return j + 1;
        if (closing)
            return -1;
        if (text[j] == '/')
            return j + 1 < length && text[j + 1] == '>' ? j + 2 : -1;
        int attrStart = j;
        while (j < length && isNameChar(text[j]))
            ++j;
        if (j == attrStart)
            return -1;
        while (j < length && isMarkupSpace(text[j]))
            ++j;
        if (j >= length || text[j] != '=')
            return -1;
        ++j;
        while (j < length && isMarkupSpace(text[j]))
            ++j;
        if (j >= length || (text[j] != '"' && text[j] != '\''))
            return -1;
        const char* close = static_cast<const char*>(std::memchr(text + j + 1, text[j], size_t(length - j - 1)));
        if (!close)
            return -1;
        j = int(close - text) + 1;
    }
}

} // namespace

int CompleteMarkupLength(const char* text, int length)
{
    if (!text || length <= 0)
        return 0;
    int i = 0;
    while (i < length && text[i]) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        int end;
        if (startsWith(text, length, i, "<![CDATA["))
            end = endOfDelimited(text, length, i, "<![CDATA[", "]]>");
        else if (startsWith(text, length, i, "<!"))
            end = endOfDeclaration(text, length, i);
        else if (startsWith(text, length, i, "<?"))
            end = endOfDelimited(text, length, i, "<?", ">");   // the reader ends it at the first '>'
        else
            end = endOfTag(text, length, i);
        if (end < 0)
            return i;
        i = end;
    }
    return i;
}

// --- memory file ---

CReadFile::CReadFile(const char* fileName, char* buffer, int length, bool ownsBuffer)
    : m_FileName(fileName ? fileName : ""), m_pBuffer(buffer), m_nLength(std::max(length, 0)), m_nPos(0),
      m_bOwnsBuffer(ownsBuffer)
{
    setDebugName("CReadFile");
}

CReadFile::~CReadFile()
{
    if (m_bOwnsBuffer)
        delete[] m_pBuffer;
}

s32 CReadFile::read(void* buffer, u32 count)
{
    long long n = std::min<long long>(count, (long long)m_nLength - m_nPos);
    if (n < 1 || !buffer || !m_pBuffer)
        return 0;
    std::memcpy(buffer, m_pBuffer + m_nPos, size_t(n));
    m_nPos += int(n);
    return s32(n);
}

bool CReadFile::seek(long position, bool relative)
{
    long long target = relative ? (long long)m_nPos + position : (long long)position;
    if (target < 0 || target > m_nLength)
        return false;
    m_nPos = int(target);
    return true;
}

CReadFile* CreateMemoryFile(char* buffer, int length, bool deleteBuffer, bool convert)
{
    if (convert && length >= 4 && startsWithUtf8Mark(buffer, length)) {
        std::string utf8(buffer + 3, strnlen(buffer + 3, size_t(length - 3)));
        CString ansi = Utf8ToAnsi(utf8.c_str());
        int wideLength = 0;
        char* wide = makeUtf16Buffer(platform::AnsiToUtf16((const char*)ansi), wideLength);
        if (deleteBuffer)
            delete[] buffer;
        return new CReadFile(MemoryFileName, wide, wideLength, true);
    }
    return new CReadFile(MemoryFileName, buffer, length, deleteBuffer);
}

void AppendBoundedText(CString& record, const char* piece)
{
    CString text(piece ? piece : "");
    if (text.GetLength() > MaxRecordPiece)
        text = text.Left(MaxRecordPiece) + "...";
    record += text;
    record += ';';
    if (record.GetLength() > MaxRecordLength)
        record = "..." + record.Right(MaxRecordLength);
}

// --- storage: set-up ---

CXMLStorage::CXMLStorage() = default;

CXMLStorage::CXMLStorage(io::IXMLReader* reader) : m_bReading(true), m_pReader(reader)
{
    if (m_pReader)
        m_pReader->grab();
}

CXMLStorage::CXMLStorage(io::IXMLWriter* writer) : m_bReading(false), m_pWriter(writer)
{
    if (m_pWriter)
        m_pWriter->grab();
}

CXMLStorage::CXMLStorage(const char* fileName, bool reading) : m_bReading(reading)
{
    m_Name = fileName ? fileName : "";
    if (reading) {
        openFile(fileName);
        return;
    }
    m_Name += "(wr)";
    io::IFileSystem* fs = GetEngineContext().getFileSystem();
    m_pWriter = fs && fileName ? fs->createXMLWriter(fileName) : nullptr;
    if (m_pWriter)
        m_pWriter->writeXMLHeader();
    else
        checkWriter(fileName);
}

CXMLStorage::~CXMLStorage()
{
    if (m_pReader)
        m_pReader->drop();
    if (m_pWriter)
        m_pWriter->drop();
}

// The file is read whole and goes the way of a text, so that a file and a
// text with the same bytes read alike.
bool CXMLStorage::openFile(const char* fileName)
{
    m_bReading = true;
    io::IReadFile* file = OpenDataFile(fileName);
    if (!file) {
        LogReadFailure(fileName);
        AppendBoundedText(m_LastRead, "(start)");
        return openReader(nullptr, fileName);
    }
    std::string bytes(size_t(std::max(file->getSize(), 0L)), '\0');
    s32 got = bytes.empty() ? 0 : file->read(&bytes[0], u32(bytes.size()));
    file->drop();
    bytes.resize(size_t(std::max(got, 0)));
    m_Name = fileName;
    if (!StartsWithUtf16Mark(bytes.data(), bytes.size()))
        return openText(bytes.c_str());
    // UTF-16 or UTF-32 (what the writer makes) is decoded here and read as a
    // text: the reader itself runs past the end of a cut wide file.
    return openText(platform::Utf16ToAnsi(decodeWideFile(bytes)).c_str());
}

// The reader widens an 8-bit text byte by byte, which is right only for
// Latin-1; so every text reaches it as UTF-16 made through the code page,
// and names and values come back through the same page.
bool CXMLStorage::openText(const char* text)
{
    AppendBoundedText(m_LastRead, "(start)");
    if (!text)
        return openReader(nullptr, "text");
    int fullLength = int(std::strlen(text));
    int complete = CompleteMarkupLength(text, fullLength);
    std::string cut;
    if (complete < fullLength) {
        cut.assign(text, size_t(complete));
        text = cut.c_str();
    }
    int length = complete + 1;
    CReadFile* file;
    if (startsWithUtf8Mark(text, length)) {
        char* copy = new char[size_t(length)];
        std::memcpy(copy, text, size_t(length));
        file = CreateMemoryFile(copy, length, true, true);
    } else {
        int wideLength = 0;
        char* wide = makeUtf16Buffer(platform::AnsiToUtf16(text), wideLength);
        file = CreateMemoryFile(wide, wideLength, true, false);
    }
    return openReader(file, "text");
}

// Takes over the file's reference.
bool CXMLStorage::openReader(io::IReadFile* file, const char* what)
{
    m_bReading = true;
    m_bAtEnd = false;
    if (m_pReader) {
        m_pReader->drop();
        m_pReader = nullptr;
    }
    io::IFileSystem* fs = GetEngineContext().getFileSystem();
    if (fs && file)
        m_pReader = fs->createXMLReader(file);
    if (file)
        file->drop();
    return checkReader(what);
}

// --- storage: reader steps ---

bool CXMLStorage::step()
{
    if (m_bAtEnd || !m_pReader)
        return false;
    if (!m_pReader->read())
        m_bAtEnd = true;
    return !m_bAtEnd;
}

// The reader keeps its last node kind when the text runs out: report none.
int CXMLStorage::nodeType() const
{
    return m_bAtEnd || !m_pReader ? io::EXN_NONE : m_pReader->getNodeType();
}

CString CXMLStorage::nodeName() const
{
    return m_bAtEnd || !m_pReader ? CString() : toAnsi(m_pReader->getNodeName());
}

CString CXMLStorage::attributeValue(const char* name) const
{
    if (m_bAtEnd || !m_pReader)
        return CString();
    return toAnsi(m_pReader->getAttributeValue(toWide(name).get()));
}

bool CXMLStorage::checkReader(const char* name)
{
    if (m_pReader)
        return true;
    if (!m_bWarned) {
        m_bWarned = true;
        CString message;
        message.Format("XML storage '%s': no reader for '%s'; values keep their defaults", (const char*)m_Name,
                       name ? name : "");
        DebugLog(message, __FILE__, __LINE__);
    }
    return false;
}

bool CXMLStorage::checkWriter(const char* name)
{
    if (m_pWriter)
        return true;
    if (!m_bWarned) {
        m_bWarned = true;
        CString message;
        message.Format("XML storage '%s': no writer for '%s'; nothing is written", (const char*)m_Name,
                       name ? name : "");
        DebugLog(message, __FILE__, __LINE__);
    }
    return false;
}

void CXMLStorage::stopOnWrongXml(const CString& message)
{
    FatalError(message, false);
}

void CXMLStorage::stopOnTruncatedText(const char* sought)
{
    CString message;
    message.Format("Wrong XML: the text ends while reading '%s'\nLast read values: '%s'\nFile: %s", sought,
                   (const char*)m_LastRead, (const char*)m_Name);
    stopOnWrongXml(message);
}

bool CXMLStorage::seekNode(const char* name, bool optional)
{
    if (!checkReader(name))
        return false;
    CString sought(name ? name : "");
    int type = nodeType();
    if (optional && type == io::EXN_ELEMENT_END && (m_CurrentNode.IsEmpty() || nodeName() == m_CurrentNode))
        return false;
    while (type != io::EXN_ELEMENT) {
        step();
        type = nodeType();
        if (type != io::EXN_ELEMENT_END && type != io::EXN_NONE)
            continue;
        // At the end of the text the reader still holds its last node: a
        // closing tag there means the text is whole and the value missing.
        bool endsOnTag = m_pReader->getNodeType() == io::EXN_ELEMENT_END;
        CString found = endsOnTag ? toAnsi(m_pReader->getNodeName()) : CString();
        if (optional && (m_CurrentNode.IsEmpty() || found == m_CurrentNode))
            return false;
        if (!endsOnTag) {
            stopOnTruncatedText(sought);
            return false;
        }
        CString message;
        message.Format("Wrong XML: failed to find '%s'\n</%s> found instead\nLast read values: '%s'\nFile: %s",
                       (const char*)sought, (const char*)found, (const char*)m_LastRead, (const char*)m_Name);
        stopOnWrongXml(message);
        return false;
    }
    CString found = nodeName();
    if (found.IsEmpty() || found != sought) {
        if (optional)
            return false;
        CString message;
        message.Format("Wrong XML: node name does not match description\n'%s' found while seeking for '%s'\n"
                       "Last read values: '%s'\nFile: %s",
                       (const char*)found, (const char*)sought, (const char*)m_LastRead, (const char*)m_Name);
        stopOnWrongXml(message);
        return false;
    }
    return true;
}

void CXMLStorage::skipElement()
{
    step();
}

// --- storage: nodes and values ---

void CXMLStorage::beginNode(const char* name)
{
    m_CurrentNode = name ? name : "";
    if (!m_bReading) {
        if (checkWriter(name)) {
            m_pWriter->writeElement(toWide(name).get(), false);
            m_pWriter->writeLineBreak();
        }
        return;
    }
    if (seekNode(name, false))
        step();
}

void CXMLStorage::endNode(const char* name)
{
    m_CurrentNode.Empty();
    if (!m_bReading) {
        if (checkWriter(name)) {
            m_pWriter->writeClosingTag(toWide(name).get());
            m_pWriter->writeLineBreak();
        }
        return;
    }
    if (!checkReader(name))
        return;
    while (nodeType() != io::EXN_ELEMENT_END) {
        if (!step()) {
            stopOnTruncatedText(CString("</") + (name ? name : "") + ">");
            return;
        }
    }
    step();
}

void CXMLStorage::writeValue(const char* name, const char* text)
{
    if (!checkWriter(name))
        return;
    std::unique_ptr<wchar_t[]> wideName = toWide(name);
    std::unique_ptr<wchar_t[]> wideText = toWide(text);
    if (hasLineFeed(text)) {
        m_pWriter->writeElement(wideName.get(), false);
        m_pWriter->writeText(wideText.get());
        m_pWriter->writeClosingTag(wideName.get());
    } else {
        m_pWriter->writeElement(wideName.get(), true, L"val", wideText.get());
    }
    m_pWriter->writeLineBreak();
}

bool CXMLStorage::serializeLong(const char* name, int* value, bool optional, int defaultValue)
{
    if (!m_bReading) {
        writeValue(name, IntToString(*value));
        return true;
    }
    if (!seekNode(name, optional)) {
        *value = defaultValue;
        return true;
    }
    *value = StrToInt(attributeValue("val"));
    skipElement();
    CString piece;
    piece.Format("(long)%s=%i", name, *value);
    AppendBoundedText(m_LastRead, piece);
    return true;
}

bool CXMLStorage::serializeFloat(const char* name, float* value, bool optional, float defaultValue)
{
    if (!m_bReading) {
        CString text;
        text.Format("%.06f", double(*value));
        writeValue(name, text);
        return true;
    }
    if (!seekNode(name, optional)) {
        *value = defaultValue;
        return true;
    }
    *value = StrToFloat(attributeValue("val"));
    skipElement();
    CString piece;
    piece.Format("(float)%s=%f", name, double(*value));
    AppendBoundedText(m_LastRead, piece);
    return true;
}

// The value of the element the reader stands on: its "val", else its text
// content. True when the element's end has been passed already.
bool CXMLStorage::readStringValue(const char* name, CString& value)
{
    value = attributeValue("val");
    if (!value.IsEmpty() || m_pReader->isEmptyElement())
        return false;
    const char* sought = name ? name : "";
    while (nodeType() != io::EXN_TEXT && nodeType() != io::EXN_ELEMENT_END) {
        if (!step()) {
            stopOnTruncatedText(sought);
            return true;
        }
    }
    if (nodeType() == io::EXN_TEXT) {
        value = toAnsi(m_pReader->getNodeData());
        step();
    }
    while (nodeType() != io::EXN_ELEMENT_END) {
        if (!step()) {
            stopOnTruncatedText(sought);
            return true;
        }
    }
    step();
    return nodeType() == io::EXN_ELEMENT || nodeType() == io::EXN_ELEMENT_END;
}

bool CXMLStorage::serializeString(const char* name, CString* value, bool optional, const char* defaultValue)
{
    if (!m_bReading) {
        writeValue(name, *value);
        return true;
    }
    if (!seekNode(name, optional)) {
        *value = defaultValue ? defaultValue : "";
        return true;
    }
    CString text;
    if (!readStringValue(name, text))
        skipElement();
    *value = text;
    CString piece;
    piece.Format("(string)%s=%s", name, (const char*)text);
    AppendBoundedText(m_LastRead, piece);
    return true;
}

bool CXMLStorage::serializeIrrString(const char* name, core::stringc* value, bool optional,
                                     const char* defaultValue)
{
    CString text(value->c_str());
    serializeString(name, &text, optional, defaultValue);
    if (m_bReading)
        *value = (const char*)text;
    return true;
}
