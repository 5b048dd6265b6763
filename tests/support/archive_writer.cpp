// Stored zip and pak writers for tests.
#include "archive_writer.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>

namespace {

void put16(std::string& out, uint32_t value)
{
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

// The fields a local header and a central directory entry share, from
// "version needed" to the extra field length.
void putCommonFields(std::string& out, const std::string& name, const std::string& data)
{
    uint32_t crc = uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
    put16(out, 10);          // version needed: 1.0
    put16(out, 0);           // flags
    put16(out, 0);           // method: stored
    put16(out, 0);           // time
    put16(out, 0x21);        // date: 1980-01-01
    put32(out, crc);
    put32(out, uint32_t(data.size()));
    put32(out, uint32_t(data.size()));
    put16(out, uint32_t(name.size()));
    put16(out, 0);           // extra field length
}

} // namespace

bool WriteStoredZip(const std::string& path, const ArchiveEntries& entries)
{
    std::string body, directory;
    for (const auto& [name, data] : entries) {
        uint32_t offset = uint32_t(body.size());
        put32(body, 0x04034b50);
        putCommonFields(body, name, data);
        body += name;
        body += data;

        put32(directory, 0x02014b50);
        put16(directory, 20);   // version made by
        putCommonFields(directory, name, data);
        put16(directory, 0);    // comment length
        put16(directory, 0);    // disk number
        put16(directory, 0);    // internal attributes
        put32(directory, 0);    // external attributes
        put32(directory, offset);
        directory += name;
    }
    std::string end;
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, uint32_t(entries.size()));
    put16(end, uint32_t(entries.size()));
    put32(end, uint32_t(directory.size()));
    put32(end, uint32_t(body.size()));
    put16(end, 0);
    return writeFile(path, body + directory + end);
}

bool WritePak(const std::string& path, const ArchiveEntries& entries)
{
    // Header "PACK", directory offset, directory length; the directory holds
    // 64-byte entries: a 56-byte name, the data offset and the data length.
    const uint32_t headerSize = 12, entrySize = 64;
    std::string data, directory;
    for (const auto& [name, content] : entries) {
        std::string field = name.substr(0, 55);
        field.resize(56, '\0');
        directory += field;
        put32(directory, headerSize + uint32_t(data.size()));
        put32(directory, uint32_t(content.size()));
        data += content;
    }
    std::string out = "PACK";
    put32(out, headerSize + uint32_t(data.size()));
    put32(out, uint32_t(entries.size()) * entrySize);
    return writeFile(path, out + data + directory);
}
