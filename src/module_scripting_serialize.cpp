// The tagged value text: numbered elements written for a script value and
// read back in the same numbering.
#include "module_scripting_serialize.h"

#include "module_scripting_report.h"
#include "utils_debug.h"
#include "utils_serialize_storage.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <irrXML.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The smallest slot ("\n<1_0_slot>\n" with two type elements) is longer than
// this, so a length element cannot ask for more slots than the text holds.
constexpr int MinSlotBytes = 20;

// The text between open and close, the search starting at from. False, with
// the out text empty, when a marker is missing; next moves past close.
bool findBetween(const char* text, const CString& open, const CString& close, size_t from, CString& out,
                 size_t* next = nullptr)
{
    out.Empty();
    size_t length = std::strlen(text);
    if (from > length)
        return false;
    const char* start = std::strstr(text + from, open);
    if (!start)
        return false;
    start += open.GetLength();
    const char* end = std::strstr(start, close);
    if (!end)
        return false;
    out = CString(start, int(end - start));
    if (next)
        *next = size_t(end - text) + size_t(close.GetLength());
    return true;
}

// The val attribute of the element "<number_kind val=\"...\"/>"; empty when missing.
CString attributeValue(const char* text, int number, const char* kind)
{
    CString value;
    findBetween(text, Format("<%i_%s val=\"", number, kind), "\"/>", 0, value);
    return value;
}

bool isContainer(SQObjectType type)
{
    return type == OT_TABLE || type == OT_ARRAY;
}

class CWriter {
public:
    CWriter(int* counter, int flags) : m_pCounter(counter), m_nFlags(flags) {}
    void write(const SquirrelObject& value, CString& out);

private:
    void writeString(const char* text, CString& out);
    void writeContainer(const SquirrelObject& value, CString& out);
    void refuse(SQObjectType type, const char* why);
    bool onPath(const SquirrelObject& value) const;

    int* m_pCounter;
    int m_nFlags;
    std::vector<SQRefCounted*> m_Path;   // the containers being written, outermost first
};

void CWriter::write(const SquirrelObject& value, CString& out)
{
    SQObjectType type = value.GetType();
    int& n = *m_pCounter;
    if (isContainer(type) && (onPath(value) || int(m_Path.size()) >= SqSerializeMaxDepth)) {
        // Written as null, which reads back as null and keeps the numbering.
        out += Format("<%i_type val=\"%i\"/>", n, int(OT_NULL));
        refuse(type, onPath(value) ? "a table that contains itself" : "a table nested too deep");
        return;
    }
    out += Format("<%i_type val=\"%i\"/>", n, int(type));
    switch (type) {
    case OT_STRING:
        writeString(value.ToString(), out);
        break;
    case OT_BOOL:
        out += Format("<%i_bool val=\"%i\"/>", n, value.ToBool() ? 1 : 0);
        ++n;
        break;
    case OT_INTEGER:
        out += Format("<%i_int val=\"%i\"/>", n, int(value.ToInteger()));
        ++n;
        break;
    case OT_FLOAT:
        out += Format("<%i_float val=\"%f\"/>", n, double(value.ToFloat()));
        ++n;
        break;
    case OT_TABLE:
    case OT_ARRAY:
        writeContainer(value, out);
        break;
    case OT_NULL:
        break;   // the type element is the whole value
    default:
        refuse(type, nullptr);
        break;
    }
}

void CWriter::writeString(const char* text, CString& out)
{
    int& n = *m_pCounter;
    if (!text)
        text = "";
    // A table's body loses its carriage returns, so they are kept in base64 too.
    if (std::strpbrk(text, "\r\n<>")) {
        CBase64 coder(false);
        out += Format("<%i_strB64>%s</%i_strB64>", n, (const char*)coder.Encode(text), n);
    } else {
        out += Format("<%i_str>%s</%i_str>", n, text, n);
    }
    ++n;
}

void CWriter::writeContainer(const SquirrelObject& value, CString& out)
{
    int number = (*m_pCounter)++;
    m_Path.push_back(value.GetObjectHandle()._unVal.pRefCounted);
    // A copy to iterate on: the VM stack holds it while the slots are written.
    SquirrelObject container(value);
    CString body;
    int slot = 0;
    if (container.BeginIteration()) {
        SquirrelObject key, item;
        while (container.Next(key, item)) {
            CString slotText;
            write(key, slotText);
            write(item, slotText);
            body += Format("\n<%i_%i_slot>\n%s\n</%i_%i_slot>", number, slot, (const char*)slotText, number, slot);
            ++slot;
        }
        container.EndIteration();
    }
    m_Path.pop_back();
    body.Replace("\r", "");
    body.Replace("\n", "\n\t");
    out += Format("\n<%i_table>%s\n</%i_table><%i_table_len val=\"%i\"/>", number, (const char*)body, number,
                  number, slot);
}

void CWriter::refuse(SQObjectType type, const char* why)
{
    if (why)
        DebugLog(Format("SqSerialize: %s is written as null", why));
    if (!(m_nFlags & SqSerializeQuiet))
        AlertBox(Format("Wrong SqSerialize type on serialize! %i", int(type)), false);
}

bool CWriter::onPath(const SquirrelObject& value) const
{
    SQRefCounted* self = value.GetObjectHandle()._unVal.pRefCounted;
    for (SQRefCounted* p : m_Path) {
        if (p == self)
            return true;
    }
    return false;
}

class CReader {
public:
    explicit CReader(int* counter) : m_pCounter(counter) {}
    bool read(const char* text, SquirrelObject& out);

private:
    SquirrelObject readString(const char* text, int number);
    void readContainer(const char* text, SQObjectType type, SquirrelObject& out);
    void readSlots(const CString& body, int number, int count, SquirrelObject& container);

    int* m_pCounter;
    int m_nDepth = 0;
};

bool CReader::read(const char* text, SquirrelObject& out)
{
    int& n = *m_pCounter;
    int type = StrToLong(attributeValue(text, n, "type"));
    if (type == 0)
        return false;
    switch (type) {
    case OT_STRING:
        out = readString(text, n);
        ++n;
        return true;
    case OT_BOOL:
        out = SqMakeObject(StrToInt(attributeValue(text, n, "bool")) != 0);
        ++n;
        return true;
    case OT_INTEGER:
        out = SqMakeObject(SQInteger(StrToLong(attributeValue(text, n, "int"))));
        ++n;
        return true;
    case OT_FLOAT:
        out = SqMakeObject(SQFloat(StrToFloat(attributeValue(text, n, "float"))));
        ++n;
        return true;
    case OT_TABLE:
    case OT_ARRAY:
        if (m_nDepth < SqSerializeMaxDepth) {
            readContainer(text, SQObjectType(type), out);
            return true;
        }
        break;
    case OT_NULL:
        out.Reset();   // written for a null and for a value that could not be written
        return true;
    default:
        break;
    }
    ShowScriptAssert("src\\module_scripting", __LINE__, Format("Wrong SqSerialize type on deserialize! %i", type));
    return true;
}

SquirrelObject CReader::readString(const char* text, int number)
{
    CString open = Format("<%i_strB64>", number);
    CString content;
    if (std::strstr(text, open)) {
        findBetween(text, open, Format("</%i_strB64>", number), 0, content);
        CBase64 coder(false);
        return SqMakeObject((const char*)coder.Decode(content));
    }
    findBetween(text, Format("<%i_str>", number), Format("</%i_str>", number), 0, content);
    return SqMakeObject((const char*)content);
}

void CReader::readContainer(const char* text, SQObjectType type, SquirrelObject& out)
{
    int number = (*m_pCounter)++;
    CString body;
    findBetween(text, Format("<%i_table>", number), Format("</%i_table>", number), 0, body);
    // The length comes from an editable file: never below 0, never more
    // slots than the body could hold.
    int count = StrToInt(attributeValue(text, number, "table_len"));
    if (count < 0)
        count = 0;
    if (count > body.GetLength() / MinSlotBytes)
        count = body.GetLength() / MinSlotBytes;
    SquirrelObject container = type == OT_ARRAY ? SquirrelVM::CreateArray(count) : SquirrelVM::CreateTable();
    ++m_nDepth;
    readSlots(body, number, count, container);
    --m_nDepth;
    out = container;
}

void CReader::readSlots(const CString& body, int number, int count, SquirrelObject& container)
{
    size_t from = 0;
    for (int i = 0; i < count; ++i) {
        CString open = Format("<%i_%i_slot>", number, i);
        CString close = Format("</%i_%i_slot>", number, i);
        CString slot;
        // Slots follow each other; a hand-edited text may have moved one.
        if (!findBetween(body, open, close, from, slot, &from) && !findBetween(body, open, close, 0, slot, &from))
            break;   // every later read would be empty as well
        SquirrelObject key, value;
        // A half slot is damage, not a value; a bad key or index is skipped.
        if (read(slot, key) && read(slot, value))
            container.SetValue(key, value);
    }
}


// The XML text as the reader's file (cut to whole markup before).
class CMemoryXmlSource : public irr::io::IFileReadCallBack {
public:
    explicit CMemoryXmlSource(const char* text) : m_pText(text), m_nSize(long(std::strlen(text))) {}
    int read(void* buffer, int sizeToRead) override
    {
        long count = m_nSize - m_nPos < sizeToRead ? m_nSize - m_nPos : sizeToRead;
        if (count <= 0)
            return 0;
        std::memcpy(buffer, m_pText + m_nPos, size_t(count));
        m_nPos += count;
        return int(count);
    }
    long getSize() const override { return m_nSize; }

private:
    const char* m_pText;
    long m_nSize;
    long m_nPos = 0;
};

// Moves to the next element; false at the enclosing element's end or the end of input.
bool nextElement(SqXmlReader* reader)
{
    while (reader->read()) {
        if (reader->getNodeType() == irr::io::EXN_ELEMENT)
            return true;
        if (reader->getNodeType() == irr::io::EXN_ELEMENT_END)
            return false;
    }
    return false;
}

// Moves to the end of the element the reader is inside.
void skipToEnd(SqXmlReader* reader)
{
    int depth = 1;
    while (depth > 0 && reader->read()) {
        if (reader->getNodeType() == irr::io::EXN_ELEMENT && !reader->isEmptyElement())
            ++depth;
        else if (reader->getNodeType() == irr::io::EXN_ELEMENT_END)
            --depth;
    }
}

// A table of the attributes other than "val"; null when there are none.
SquirrelObject readAttributes(SqXmlReader* reader)
{
    SquirrelObject attributes;
    for (unsigned i = 0; i < reader->getAttributeCount(); ++i) {
        const char* name = reader->getAttributeName(int(i));
        if (!name || std::strcmp(name, "val") == 0)
            continue;
        if (attributes.IsNull())
            attributes = SquirrelVM::CreateTable();
        SetTableValueFromXmlAttribute(attributes, false, name, reader->getAttributeValue(int(i)));
    }
    return attributes;
}

// Names are looked up raw: an entry called "len" or "clear" is the table's
// own, not its delegate's function.
void storeXmlValue(SquirrelObject& parent, const CString& name, bool arrayEntry, const SquirrelObject& value)
{
    if (arrayEntry)
        parent.RawGetValue(name).ArrayAppend(value);
    else
        parent.SetValue(name, value);
}

int loadElement(SqXmlReader* reader, SquirrelObject& parent, bool atElement, int depth);

// The value of an element with content; the reader ends at the element's end.
SquirrelObject loadContent(SqXmlReader* reader, SquirrelObject attributes, int depth)
{
    if (!reader->read() || reader->getNodeType() == irr::io::EXN_ELEMENT_END)
        return attributes.IsNull() ? SquirrelVM::CreateTable() : attributes;
    irr::io::EXML_NODE type = reader->getNodeType();
    if (type == irr::io::EXN_TEXT || type == irr::io::EXN_CDATA) {
        CString text = reader->getNodeData();
        text.TrimLeft();
        text.TrimRight();
        if (!text.IsEmpty()) {
            skipToEnd(reader);
            if (attributes.IsNull())
                return SqMakeObject((const char*)text);
            SetTableValueFromXmlAttribute(attributes, false, "val", text);
            return attributes;
        }
    }
    // Child elements; the attributes, if any, share their table.
    SquirrelObject container = attributes.IsNull() ? SquirrelVM::CreateTable() : attributes;
    bool atElement = type == irr::io::EXN_ELEMENT;
    while (loadElement(reader, container, atElement, depth + 1) == 1)
        atElement = false;
    return container;
}

int loadElement(SqXmlReader* reader, SquirrelObject& parent, bool atElement, int depth)
{
    if (!atElement && !nextElement(reader))
        return 0;
    bool empty = reader->isEmptyElement();
    if (depth >= SqSerializeMaxDepth) {
        if (!empty)
            skipToEnd(reader);
        return 1;
    }
    CString name = reader->getNodeName();
    bool arrayEntry = name.Replace("array:", "") > 0;
    if (arrayEntry && parent.RawGetValue(name).GetType() == OT_NULL)
        parent.SetValue(name, SquirrelVM::CreateArray(0));
    SquirrelObject attributes = readAttributes(reader);
    if (empty) {
        if (!attributes.IsNull())
            storeXmlValue(parent, name, arrayEntry, attributes);
        else
            SetTableValueFromXmlAttribute(parent, arrayEntry, name, reader->getAttributeValueSafe("val"));
        return 1;
    }
    storeXmlValue(parent, name, arrayEntry, loadContent(reader, attributes, depth));
    return 1;
}

}  // namespace

void SqSerialize(const SquirrelObject& value, CString& out, int* counter, int flags)
{
    int start = 0;
    CWriter writer(counter ? counter : &start, flags);
    writer.write(value, out);
}

bool SqDeserialize(const char* text, SquirrelObject& out, int* counter)
{
    int start = 0;
    CReader reader(counter ? counter : &start);
    return reader.read(text ? text : "", out);
}

int LoadTableFromXml(SqXmlReader* reader, SquirrelObject& parent)
{
    return reader ? loadElement(reader, parent, false, 0) : 0;
}

int LoadTableFromXmlText(const char* text, SquirrelObject& table)
{
    std::string complete(text ? text : "");
    complete.resize(size_t(CompleteMarkupLength(complete.c_str(), int(complete.size()))));
    // A text ends at its first NUL, so it cannot be wide: with a wide mark
    // the reader would run past it.
    if (StartsWithUtf16Mark(complete.data(), complete.size()))
        complete.clear();
    CMemoryXmlSource source(complete.c_str());
    SqXmlReader* reader = irr::io::createIrrXMLReader(&source, false);
    while (LoadTableFromXml(reader, table) == 1) {
    }
    delete reader;
    return 1;
}

void SetTableValueFromXmlAttribute(SquirrelObject& table, bool asArray, const char* name, const char* text)
{
    if (!text)
        text = "";
    SquirrelObject value;
    switch (ClassifyValueText(text)) {
    case 1: value = SqMakeObject(SQInteger(StrToInt(text))); break;
    case 2: value = SqMakeObject(SQFloat(StrToFloat(text))); break;
    case 3: value = SqMakeObject(std::strlen(text) == 4); break;
    default: value = SqMakeObject(text); break;
    }
    if (asArray)
        table.RawGetValue(name).ArrayAppend(value);
    else
        table.SetValue(name, value);
}
