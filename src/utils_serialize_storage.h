// XML storage: the two-way serializer behind every CSerializable, and the
// memory read file that feeds texts to Irrlicht's XML reader.
#pragma once

#include "utils_str.h"

#include <IReadFile.h>
#include <IXMLReader.h>
#include <IXMLWriter.h>
#include <path.h>

#include <string>

class CXMLStorage;

// Everything that describes itself to a CXMLStorage. serialize() reads or
// writes the object: onBeforeSave first when writing, beginNode, the values
// in their fixed order, endNode, onLoaded last when reading.
class CSerializable {
public:
    virtual void onBeforeSave() {}
    virtual void serialize(CXMLStorage& storage) {}
    virtual void onLoaded() {}
    virtual bool shouldSave(CXMLStorage& storage) { return true; }
    virtual ~CSerializable() = default;
};

// An Irrlicht read file over a block of memory.
class CReadFile : public irr::io::IReadFile {
public:
    // Owns the buffer (freed with delete[]) when ownsBuffer is set.
    CReadFile(const char* fileName, char* buffer, int length, bool ownsBuffer);
    ~CReadFile() override;
    CReadFile(const CReadFile&) = delete;
    CReadFile& operator=(const CReadFile&) = delete;

    // Copies what is left, at most count bytes; 0 at the end.
    irr::s32 read(void* buffer, irr::u32 count) override;
    // Refused (false) outside 0..length; the length itself is allowed.
    bool seek(long position, bool relative = false) override;
    long getSize() const override { return m_nLength; }
    long getPos() const override { return m_nPos; }
    const irr::io::path& getFileName() const override { return m_FileName; }

private:
    irr::io::path m_FileName;
    char* m_pBuffer;
    int m_nLength;   // bytes
    int m_nPos;
    bool m_bOwnsBuffer;
};

// +1: the caller drops it. Named "memfile". With convert set, a buffer that
// begins with the UTF-8 byte-order mark is decoded into the 8-bit code page
// and widened to UTF-16LE behind an FF FE mark, in a buffer of the file's
// own; with deleteBuffer the source (from new[]) is then freed. Any other
// buffer is used as it is, owned when deleteBuffer is set.
CReadFile* CreateMemoryFile(char* buffer, int length, bool deleteBuffer, bool convert);

// Length of the longest start of an XML text made of whole, well-formed
// pieces: character data, elements whose attributes all have quoted values,
// end tags, comments and declarations ("<!" to the '>' that balances the
// '<' met inside), CDATA sections and "<?" to the first '>'. Irrlicht's
// reader reads past its buffer on a cut-off or malformed tag, so texts are
// cut here before they reach it; what follows the first bad piece is lost.
int CompleteMarkupLength(const char* text, int length);

// The running record of read values for error messages: a piece longer than
// 200 characters is cut to 200 + "...", then piece + ";" is appended; past
// 500 characters the record keeps "..." and its last 500.
void AppendBoundedText(CString& record, const char* piece);

class CXMLStorage {
public:
    CXMLStorage();
    explicit CXMLStorage(irr::io::IXMLReader* reader);   // grabs it
    explicit CXMLStorage(irr::io::IXMLWriter* writer);   // grabs it
    CXMLStorage(const char* fileName, bool reading);
    virtual ~CXMLStorage();
    CXMLStorage(const CXMLStorage&) = delete;
    CXMLStorage& operator=(const CXMLStorage&) = delete;

    // Readers over a data file or a text (zero-terminated, 8-bit code page
    // or UTF-8 with its byte-order mark). False when no reader could be made.
    bool openFile(const char* fileName);
    bool openText(const char* text);

    bool isReading() const { return m_bReading; }
    irr::io::IXMLReader* getReader() const { return m_pReader; }   // borrowed; null when none
    const CString& getLastReadValues() const { return m_LastRead; }
    const CString& getName() const { return m_Name; }

    void beginNode(const char* name);
    void endNode(const char* name);

    // Each reads or writes one value and returns true. A missing optional
    // value reads as the default; a missing "val" attribute as 0 or "".
    bool serializeLong(const char* name, int* value, bool optional = false, int defaultValue = 0);
    bool serializeFloat(const char* name, float* value, bool optional = false, float defaultValue = 0.0f);
    bool serializeString(const char* name, CString* value, bool optional = false, const char* defaultValue = "");
    bool serializeIrrString(const char* name, irr::core::stringc* value, bool optional = false,
                            const char* defaultValue = "");

    // Moves the reader onto the element of that name. A structural error
    // stops the program ("Wrong XML ..."); an absent optional value is false.
    bool seekNode(const char* name, bool optional);
    void skipElement();

private:
    bool openReader(irr::io::IReadFile* file, const char* what);
    bool step();
    int nodeType() const;
    CString nodeName() const;
    CString attributeValue(const char* name) const;
    bool checkReader(const char* name);
    bool checkWriter(const char* name);
    void stopOnWrongXml(const CString& message);
    void stopOnTruncatedText(const char* sought);
    bool readStringValue(const char* name, CString& value);
    void writeValue(const char* name, const char* text);

    bool m_bReading = false;
    irr::io::IXMLReader* m_pReader = nullptr;   // owned
    irr::io::IXMLWriter* m_pWriter = nullptr;   // owned
    CString m_LastRead;
    CString m_Name = "???";
    CString m_CurrentNode;
    bool m_bAtEnd = false;      // the reader has run out of text
    bool m_bWarned = false;     // a missing reader or writer has been logged
};
