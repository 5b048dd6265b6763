// The Vorbis headers of an Ogg file, read as libvorbis reads them, before
// the decoder sees them. libvorbis trusts the counts of a setup header: it
// puts about 12 bytes per codebook entry on the stack, allocates every
// entry's values and every residue's partition map, and a header it refuses
// costs memory it never frees. So every link is checked whole, what a link's
// set-up would hold is counted against a budget per link, and what setting
// up every link in turn takes against one the file's size sets. The sizes
// counted are those of libvorbis 1.3.7 (64-bit); a platform test measures
// the library in use against them.
#include "audio_decode.h"

#include "byte_order.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// libvorbis builds each codebook's decode table with two arrays of this many
// bytes per entry on the stack; a thread's stack holds several megabytes.
constexpr uint64_t StackBytesPerEntry = 12;
constexpr uint32_t MaxCodebookEntries = 1u << 18;
// Besides its lengths and values, each codebook keeps a record as read, and
// as decode tables a record and a first lookup table of up to 256 words.
// The values as read are kept as longs.
constexpr uint64_t CodebookHeaderBytes = 128;
constexpr uint64_t CodebookTableBytes = 1280;
constexpr uint64_t HeaderBytesPerValue = 8;
// A link's own set-up: the transforms and windows of its two block sizes,
// buffers of both for every channel, and a first packet that is decoded
// only to start the overlap. Counted per sample of the two blocks, for every
// channel and once more, well above what it takes.
constexpr uint64_t LinkSetupBytesPerSample = 8;
// What the set-up holds at once: the headers and decode tables of the link
// being played. Read as a stream that cannot seek, libvorbisfile frees a
// link's before it reads the next one's. Real encoders' headers take some
// kilobytes a link and their tables well under a megabyte.
constexpr uint64_t MaxLinkHeaderBytes = uint64_t(64) << 20;
constexpr uint64_t MaxLinkTableBytes = uint64_t(64) << 20;
// Decoding a chained file builds every link's tables in turn, making no
// sound meanwhile: the time that takes grows with the tables the headers
// declare. A real encoder's link, even one of headers alone, declares less
// than 250 bytes of tables per byte it takes in the file; a hostile one
// declares megabytes in a few bytes. So all links together may declare one
// link's most and so much per byte of the file: a chain of real links of any
// number plays, and a file costs the decoder time in proportion to its size.
constexpr uint64_t MaxFileTableBytesBesidesSize = MaxLinkTableBytes;
constexpr uint64_t FileTableBytesPerByte = 512;
constexpr size_t MaxVorbisHeaderBytes = size_t(16) << 20;
// libvorbisfile searches a link's streams one by one.
constexpr size_t MaxLinkStreams = 64;

// Why the check last refused a file on this thread, when a bound refused it.
thread_local std::string refusal;

std::string megabytes(uint64_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

// Refuses the file for having gone past a bound, noting which.
bool refuse(const std::string& bound)
{
    refusal = bound;
    return false;
}

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data(data), size(int64_t(size)) {}
    bool at(int64_t pos, void* out, size_t n) const
    {
        if (pos < 0 || pos + int64_t(n) > size)
            return false;
        std::memcpy(out, data + pos, n);
        return true;
    }

    const uint8_t* data;
    int64_t size;
};

// The set-up memory and stack a link's headers ask of the decoder, and the
// tables of all links, for the time building them takes.
struct SetupBudget {
    explicit SetupBudget(uint64_t fileBytes)
        : maxFileTableBytes(MaxFileTableBytesBesidesSize + fileBytes * FileTableBytesPerByte)
    {
    }
    uint64_t headerBytes = 0;      // the current link
    uint64_t tableBytes = 0;       // the current link
    uint64_t fileTableBytes = 0;   // all links
    uint64_t maxFileTableBytes;
    uint64_t stackBytes = 0;       // the most one codebook's set-up takes
    bool take(uint64_t header, uint64_t table)
    {
        headerBytes += header;
        tableBytes += table;
        fileTableBytes += table;
        if (headerBytes > MaxLinkHeaderBytes)
            return refuse("the Vorbis headers of a link take more than " + megabytes(MaxLinkHeaderBytes));
        if (tableBytes > MaxLinkTableBytes)
            return refuse("the Vorbis decode tables of a link take more than " + megabytes(MaxLinkTableBytes));
        if (fileTableBytes > maxFileTableBytes)
            return refuse("the Vorbis decode tables of all its links take more than " +
                          megabytes(MaxFileTableBytesBesidesSize) + " plus " + std::to_string(FileTableBytesPerByte) +
                          " bytes per byte of the file");
        return true;
    }
    void startLink() { headerBytes = tableBytes = 0; }
};

// The bits of a Vorbis header packet, least significant first.
class PacketBits {
public:
    PacketBits(const uint8_t* data, size_t size) : data(data), bitCount(uint64_t(size) * 8) {}
    bool read(int count, uint32_t& value)
    {
        if (uint64_t(count) > bitCount - position)
            return false;
        value = 0;
        for (int i = 0; i < count; ++i, ++position)
            value |= uint32_t(data[position >> 3] >> (position & 7) & 1) << i;
        return true;
    }
    bool skip(uint64_t count)
    {
        if (count > bitCount - position)
            return false;
        position += count;
        return true;
    }
    uint64_t left() const { return bitCount - position; }

private:
    const uint8_t* data;
    uint64_t bitCount;
    uint64_t position = 0;
};

int bitLength(uint32_t value)
{
    int length = 0;
    for (; value; value >>= 1)
        ++length;
    return length;
}

// The largest v with v^dimensions <= entries (the values of a lookup of type 1).
uint32_t latticeValues(uint32_t entries, uint32_t dimensions)
{
    auto fits = [&](uint64_t v) {
        uint64_t power = 1;
        for (uint32_t i = 0; i < dimensions; ++i)
            if ((power *= v) > entries)
                return false;
        return true;
    };
    uint32_t low = 1, high = entries;   // fits(1) always holds
    while (low < high) {
        const uint32_t middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// The codeword lengths of a codebook as the decoder turns them into a
// prefix code: it refuses lengths that over- or underfill the tree (one
// codeword alone excepted), and a decoder that refused one codebook goes on
// with the codebooks after it zeroed.
class CodewordTree {
public:
    bool add(uint32_t length)   // 1 to 32
    {
        uint32_t entry = marker[length];
        if (length < 32 && (entry >> length) != 0)
            return false;   // overfilled
        ++count;
        for (uint32_t j = length; j > 0; --j) {
            if (marker[j] & 1) {
                if (j == 1)
                    ++marker[1];
                else
                    marker[j] = marker[j - 1] << 1;
                break;
            }
            ++marker[j];
        }
        for (uint32_t j = length + 1; j < 33 && (marker[j] >> 1) == entry; ++j) {
            entry = marker[j];
            marker[j] = marker[j - 1] << 1;
        }
        return true;
    }
    bool isComplete() const
    {
        if (count <= 1 && (count == 0 || marker[2] == 2))
            return true;   // no codeword at all, or one of length 1
        for (uint32_t i = 1; i < 33; ++i)
            if (marker[i] & (0xFFFFFFFFu >> (32 - i)))
                return false;
        return true;
    }

private:
    uint32_t marker[33] = {};
    uint64_t count = 0;
};

// What the rest of a setup header asks of its codebooks.
struct VorbisCodebook {
    uint32_t dimensions = 0, entries = 0, lookup = 0;
};

// One codebook of a setup header, read as the decoder reads it. The decoder
// divides by a codebook's dimensions and steps through its entries, so
// neither may be 0; its codeword lengths must make a whole prefix code.
bool isSaneCodebook(PacketBits& bits, VorbisCodebook& book, SetupBudget& budget)
{
    uint32_t sync = 0, dimensions = 0, entries = 0, ordered = 0;
    if (!bits.read(24, sync) || sync != 0x564342 || !bits.read(16, dimensions) || !bits.read(24, entries) ||
        !bits.read(1, ordered))
        return false;
    if (dimensions == 0 || entries == 0 || bitLength(dimensions) + bitLength(entries) > 24)
        return false;
    // The lengths kept with the headers; the codewords, the decode table and
    // its index, and the stack of the table's set-up, whatever of it is used.
    if (entries > MaxCodebookEntries)
        return refuse("a Vorbis codebook has more than " + std::to_string(MaxCodebookEntries) + " entries");
    if (!budget.take(CodebookHeaderBytes + entries, CodebookTableBytes + uint64_t(entries) * (17 + StackBytesPerEntry)))
        return false;
    budget.stackBytes = std::max(budget.stackBytes, uint64_t(entries) * StackBytesPerEntry);
    uint32_t length = 0;
    if (!ordered) {
        CodewordTree tree;
        uint32_t sparse = 0;
        if (!bits.read(1, sparse) || uint64_t(entries) * (sparse ? 1 : 5) > bits.left())
            return false;
        AddSoundWork(entries);   // each read and put in the tree
        for (uint32_t i = 0; i < entries; ++i) {
            uint32_t used = 1;
            if ((sparse && !bits.read(1, used)) || (used && (!bits.read(5, length) || !tree.add(length + 1))))
                return false;
        }
        if (!tree.isComplete())
            return false;
    } else {
        // Runs of lengths in order: the decoder's codewords are then those of
        // a canonical code, which overfill the tree exactly when the shares of
        // it that the lengths take add up to more than the whole, and fill it
        // exactly when they add up to the whole. So a run costs this check
        // no time per entry, however many entries it declares.
        constexpr uint64_t WholeTree = uint64_t(1) << 32;
        uint64_t taken = 0;
        uint32_t lastLength = 0;   // of the last run of codewords
        if (!bits.read(5, length))
            return false;
        for (uint32_t i = 0, bitsPerLength = length + 1; i < entries; ++bitsPerLength) {
            uint32_t count = 0;
            if (!bits.read(bitLength(entries - i), count) || bitsPerLength > 32 || count > entries - i ||
                (count > 0 && ((count - 1) >> (bitsPerLength - 1)) > 1))
                return false;
            taken += uint64_t(count) << (32 - bitsPerLength);
            lastLength = bitsPerLength;   // the last run has codewords: it ends the entries
            i += count;
        }
        // One codeword alone is taken when it is of length 1.
        if (taken != WholeTree && !(entries == 1 && lastLength == 1))
            return false;
    }
    uint32_t lookup = 0;
    if (!bits.read(4, lookup) || lookup > 2)
        return false;
    book = {dimensions, entries, lookup};
    if (lookup == 0)
        return true;
    uint32_t valueBits = 0, sequence = 0;
    if (!bits.skip(64) || !bits.read(4, valueBits) || !bits.read(1, sequence))
        return false;
    const uint64_t values = lookup == 1 ? latticeValues(entries, dimensions) : uint64_t(entries) * dimensions;
    // The values as read, then unpacked for every entry.
    return budget.take(values * HeaderBytesPerValue, uint64_t(entries) * dimensions * 4) &&
           bits.skip(values * (valueBits + 1));
}

// A floor of type 0: a sane order, rate and bark map, codebooks with values.
bool isSaneFloor0(PacketBits& bits, const std::vector<VorbisCodebook>& books)
{
    uint32_t order = 0, rate = 0, barkMap = 0, lastBook = 0;
    if (!bits.read(8, order) || !bits.read(16, rate) || !bits.read(16, barkMap) || !bits.skip(6 + 8) ||
        !bits.read(4, lastBook) || order < 1 || rate < 1 || barkMap < 1)
        return false;
    for (uint32_t j = 0; j <= lastBook; ++j) {
        uint32_t book = 0;
        if (!bits.read(8, book) || book >= books.size() || books[book].lookup == 0)
            return false;
    }
    return true;
}

// A floor of type 1: classes of known codebooks and a list of distinct posts.
bool isSaneFloor1(PacketBits& bits, const std::vector<VorbisCodebook>& books)
{
    uint32_t partitions = 0, partitionClass[31] = {}, classDimensions[16] = {};
    int maxClass = -1;
    if (!bits.read(5, partitions))
        return false;
    for (uint32_t j = 0; j < partitions; ++j) {
        if (!bits.read(4, partitionClass[j]))
            return false;
        maxClass = std::max(maxClass, int(partitionClass[j]));
    }
    for (int j = 0; j <= maxClass; ++j) {
        uint32_t dimensions = 0, subclasses = 0, book = 0;
        if (!bits.read(3, dimensions) || !bits.read(2, subclasses) || (subclasses && !bits.read(8, book)) ||
            book >= books.size())
            return false;
        classDimensions[j] = dimensions + 1;
        for (uint32_t k = 0; k < (1u << subclasses); ++k)
            if (!bits.read(8, book) || (book > 0 && book - 1 >= books.size()))
                return false;
    }
    uint32_t rangeBits = 0;
    if (!bits.skip(2) || !bits.read(4, rangeBits))
        return false;
    std::vector<uint32_t> posts = {0, 1u << rangeBits};
    for (uint32_t j = 0; j < partitions; ++j) {
        if (posts.size() - 2 + classDimensions[partitionClass[j]] > 63)
            return false;
        for (uint32_t k = 0; k < classDimensions[partitionClass[j]]; ++k) {
            uint32_t post = 0;
            if (!bits.read(int(rangeBits), post))
                return false;
            posts.push_back(post);
        }
    }
    // Two posts at one place would make a segment of no length.
    std::sort(posts.begin(), posts.end());
    return std::adjacent_find(posts.begin(), posts.end()) == posts.end();
}

// A residue: known codebooks with values, and a classifying codebook whose
// partitions fit its entries.
bool isSaneResidue(PacketBits& bits, const std::vector<VorbisCodebook>& books, SetupBudget& budget)
{
    uint32_t partitions = 0, groupBook = 0, stages = 0;
    if (!bits.skip(24 + 24 + 24) || !bits.read(6, partitions) || !bits.read(8, groupBook))
        return false;
    ++partitions;
    for (uint32_t j = 0; j < partitions; ++j) {
        uint32_t cascade = 0, isWide = 0, high = 0;
        if (!bits.read(3, cascade) || !bits.read(1, isWide) || (isWide && !bits.read(5, high)))
            return false;
        for (uint32_t c = cascade | high << 3; c; c >>= 1)
            stages += c & 1;
    }
    for (uint32_t j = 0; j < stages; ++j) {
        uint32_t book = 0;
        if (!bits.read(8, book) || book >= books.size() || books[book].lookup == 0)
            return false;
    }
    if (groupBook >= books.size())
        return false;
    uint64_t values = 1;
    for (uint32_t d = 0; d < books[groupBook].dimensions; ++d)
        if ((values *= partitions) > books[groupBook].entries)
            return false;
    // The decoder maps every partition value to its classes, one allocation each.
    return books[groupBook].dimensions >= 1 &&
           budget.take(0, values * (uint64_t(books[groupBook].dimensions) * 4 + 32));
}

// A mapping: channel couplings inside the channel count, known floors and residues.
bool isSaneMapping(PacketBits& bits, uint32_t channels, uint32_t floors, uint32_t residues)
{
    uint32_t hasSubmaps = 0, submaps = 0, hasCoupling = 0, steps = 0, reserved = 0;
    if (!bits.read(1, hasSubmaps) || (hasSubmaps && !bits.read(4, submaps)) || !bits.read(1, hasCoupling))
        return false;
    ++submaps;
    if (hasCoupling) {
        if (!bits.read(8, steps))
            return false;
        const int width = bitLength(channels - 1);
        for (uint32_t i = 0; i <= steps; ++i) {
            uint32_t magnitude = 0, angle = 0;
            if (!bits.read(width, magnitude) || !bits.read(width, angle) || magnitude == angle ||
                magnitude >= channels || angle >= channels)
                return false;
        }
    }
    if (!bits.read(2, reserved) || reserved != 0)
        return false;
    if (submaps > 1) {
        for (uint32_t i = 0; i < channels; ++i) {
            uint32_t mux = 0;
            if (!bits.read(4, mux) || mux >= submaps)
                return false;
        }
    }
    for (uint32_t i = 0; i < submaps; ++i) {
        uint32_t floor = 0, residue = 0;
        if (!bits.skip(8) || !bits.read(8, floor) || floor >= floors || !bits.read(8, residue) || residue >= residues)
            return false;
    }
    return true;
}

// The setup header, read as the decoder reads it: the decoder refuses what
// is out of its ranges, and a refused header costs memory it never frees.
bool isSaneVorbisSetup(const std::vector<uint8_t>& packet, uint32_t channels, SetupBudget& budget)
{
    if (packet.size() < 7 || std::memcmp(packet.data(), "\x05vorbis", 7) != 0)
        return false;
    PacketBits bits(packet.data() + 7, packet.size() - 7);
    uint32_t count = 0, type = 0;
    if (!bits.read(8, count))
        return false;
    std::vector<VorbisCodebook> books(count + 1);
    for (VorbisCodebook& book : books)
        if (!isSaneCodebook(bits, book, budget))
            return false;
    if (!bits.read(6, count))
        return false;
    for (uint32_t i = 0; i <= count; ++i)   // time transforms: placeholders, all 0
        if (!bits.read(16, type) || type != 0)
            return false;
    uint32_t floors = 0, residues = 0, mappings = 0, modes = 0;
    if (!bits.read(6, floors))
        return false;
    for (uint32_t i = 0; i <= floors; ++i)
        if (!bits.read(16, type) || type > 1 || !(type == 0 ? isSaneFloor0(bits, books) : isSaneFloor1(bits, books)))
            return false;
    if (!bits.read(6, residues))
        return false;
    for (uint32_t i = 0; i <= residues; ++i)
        if (!bits.read(16, type) || type > 2 || !isSaneResidue(bits, books, budget))
            return false;
    if (!bits.read(6, mappings))
        return false;
    for (uint32_t i = 0; i <= mappings; ++i)
        if (!bits.read(16, type) || type != 0 || !isSaneMapping(bits, channels, floors + 1, residues + 1))
            return false;
    if (!bits.read(6, modes))
        return false;
    for (uint32_t i = 0; i <= modes; ++i) {
        uint32_t window = 0, transform = 0, mapping = 0;
        if (!bits.skip(1) || !bits.read(16, window) || !bits.read(16, transform) || !bits.read(8, mapping) ||
            window != 0 || transform != 0 || mapping > mappings)
            return false;
    }
    uint32_t framing = 0;
    return bits.read(1, framing) && framing == 1;
}

// The comment header: a vendor text, a count of texts and the texts, each
// a 32-bit length and its bytes inside the packet, and the framing bit.
bool isSaneVorbisComment(const std::vector<uint8_t>& packet)
{
    if (packet.size() < 7 || std::memcmp(packet.data(), "\x03vorbis", 7) != 0)
        return false;
    const int64_t end = int64_t(packet.size());
    int64_t pos = 7;
    auto text = [&] {
        if (pos + 4 > end)
            return false;
        pos += 4 + int64_t(ReadLe32(packet.data() + pos));
        return pos <= end;
    };
    if (!text() || pos + 4 > end)
        return false;
    const uint32_t count = ReadLe32(packet.data() + pos);
    pos += 4;
    if (count > uint64_t(end - pos) / 4)   // each text takes at least 4 bytes
        return false;
    for (uint32_t i = 0; i < count; ++i)
        if (!text())
            return false;
    return pos < end && (packet[size_t(pos)] & 1);
}

// The identification header: version 0, 1 to 8 channels, a real rate, block
// sizes from 64 to 8192 in order, and the framing bit.
bool isSaneVorbisIdentification(const std::vector<uint8_t>& packet, uint32_t& channels, uint32_t& rate,
                                uint32_t& blockSamples)
{
    if (packet.size() < 30)
        return false;
    const uint8_t* p = packet.data();
    channels = p[11];
    rate = ReadLe32(p + 12);
    const uint32_t small = p[28] & 0xF, large = p[28] >> 4;
    blockSamples = (1u << small) + (1u << large);
    return ReadLe32(p + 7) == 0 && channels >= 1 && channels <= MaxSoundChannels && int(rate) >= MinSoundRate && int(rate) <= MaxSoundRate && small >= 6 &&
           large >= small && large <= 13 && (p[29] & 1);
}

// One logical Vorbis stream while its three headers arrive.
struct VorbisStream {
    uint32_t serial = 0;
    uint32_t nextPage = 0;
    int packets = 0;                // header packets complete
    bool isPartial = false;         // the last packet goes on in the next page
    std::vector<uint8_t> packet;    // the packet being gathered
    uint32_t channels = 0, rate = 0;
};

// Adds one page's packets to its stream; false for headers the decoder
// must not see.
bool gatherVorbisPage(VorbisStream& stream, const uint8_t* page, SetupBudget& budget)
{
    const uint8_t segments = page[26];
    const bool isContinued = (page[5] & 1) != 0;
    const uint32_t sequence = ReadLe32(page + 18);
    if (stream.packets >= 3)
        return true;
    if (page[4] != 0 || sequence != stream.nextPage || isContinued != stream.isPartial)
        return false;   // a hole or a broken packet inside the headers
    stream.nextPage = sequence + 1;
    size_t body = 27 + size_t(segments);
    for (int i = 0; i < segments && stream.packets < 3; ++i) {
        const uint8_t lace = page[27 + i];
        stream.packet.insert(stream.packet.end(), page + body, page + body + lace);
        body += lace;
        if (stream.packet.size() > MaxVorbisHeaderBytes)
            return refuse("a Vorbis header takes more than " + megabytes(MaxVorbisHeaderBytes));
        stream.isPartial = lace == 255;
        if (stream.isPartial)
            continue;
        uint32_t blockSamples = 0;
        if (stream.packets == 0 &&
            (!isSaneVorbisIdentification(stream.packet, stream.channels, stream.rate, blockSamples) ||
             !budget.take(0, uint64_t(stream.channels + 1) * blockSamples * LinkSetupBytesPerSample)))
            return false;
        if (stream.packets == 1 && !isSaneVorbisComment(stream.packet))
            return false;
        if (stream.packets == 2 && !isSaneVorbisSetup(stream.packet, stream.channels, budget))
            return false;
        ++stream.packets;
        stream.packet.clear();
    }
    return true;
}

// Where the next capture pattern "OggS" starts at or after pos; the size
// when there is none.
int64_t findCapture(const Bytes& in, int64_t pos)
{
    uint8_t block[4096];
    for (; pos + 4 <= in.size; pos += int64_t(sizeof block) - 3) {
        const size_t length = size_t(std::min<int64_t>(int64_t(sizeof block), in.size - pos));
        if (!in.at(pos, block, length))
            break;
        for (size_t i = 0; i + 4 <= length; ++i)
            if (block[i] == 'O' && block[i + 1] == 'g' && block[i + 2] == 'g' && block[i + 3] == 'S')
                return pos + int64_t(i);
    }
    return in.size;
}

// Every page the decoder would read: the pages whose checksum holds, found
// as the Ogg library finds them, byte by byte past anything else. The
// library sums every candidate page it meets, so a file of false starts
// costs it the square of its size: the sums taken here are bounded by the
// file's size. Unless it is Opus, Ogg goes to the Vorbis decoder, which
// fails on a link (a chained file has several) without a whole Vorbis
// stream, and such a failure costs memory it never frees: every link must
// open with its streams' first pages, the first Vorbis stream of each
// bringing sane headers, and carry no page of a stream it did not open.
bool isSaneOgg(const Bytes& in, bool isVorbis)
{
    const uint64_t maxSummed = uint64_t(in.size) * 8 + (uint64_t(1) << 20);
    uint64_t summed = 0;
    std::vector<VorbisStream> streams;   // the current link's Vorbis streams
    std::vector<uint32_t> serials;       // the current link's streams
    bool isLinkOpening = false;          // only first pages of streams so far
    SetupBudget budget(uint64_t(in.size));
    auto isWholeLink = [&] {
        return !isVorbis || (!streams.empty() && streams.front().packets >= 3);
    };
    std::vector<uint8_t> page(27);
    int64_t pos = 0;
    while (in.at(pos, page.data(), 27)) {
        // Pages mostly follow each other: the search runs only past other bytes.
        if (std::memcmp(page.data(), "OggS", 4) != 0) {
            pos = findCapture(in, pos + 1);
            continue;
        }
        const size_t headerSize = 27 + size_t(page[26]);
        page.resize(headerSize);
        if (!in.at(pos + 27, page.data() + 27, headerSize - 27))
            break;
        size_t bodySize = 0;
        for (size_t i = 27; i < headerSize; ++i)
            bodySize += page[i];
        page.resize(headerSize + bodySize);
        if (!in.at(pos + int64_t(headerSize), page.data() + headerSize, bodySize))
            break;
        summed += page.size();
        AddSoundWork(page.size());
        if (summed > maxSummed)
            return refuse("finding its Ogg pages makes the library checksum more than 8 times its size");
        const uint32_t stored = ReadLe32(page.data() + 22);
        ogg_page sum = {page.data(), long(headerSize), page.data() + headerSize, long(bodySize)};
        ogg_page_checksum_set(&sum);   // written in place of the stored one
        if (ReadLe32(page.data() + 22) != stored) {
            ++pos;   // the library skips a page whose checksum fails
            continue;
        }
        pos += int64_t(page.size());
        const uint32_t serial = ReadLe32(page.data() + 14);
        const bool isKnown = std::find(serials.begin(), serials.end(), serial) != serials.end();
        if (page[5] & 2) {
            if (!isLinkOpening) {   // a new link: the one before must be whole
                if (!serials.empty() && !isWholeLink())
                    return false;
                streams.clear();
                serials.clear();
                budget.startLink();
                isLinkOpening = true;
            } else if (isKnown) {
                return false;   // a stream opened twice
            } else if (serials.size() >= MaxLinkStreams) {
                return refuse("a link has more than " + std::to_string(MaxLinkStreams) + " streams");
            }
            serials.push_back(serial);
            if (isVorbis && bodySize >= 7 && page[26] > 0 &&
                std::memcmp(page.data() + headerSize, "\x01vorbis", 7) == 0) {
                streams.emplace_back();
                streams.back().serial = serial;
                streams.back().nextPage = ReadLe32(page.data() + 18);
            }
        } else {
            isLinkOpening = false;
            if (!isKnown)
                return false;   // a page of a stream its link never opened
        }
        auto stream = std::find_if(streams.begin(), streams.end(),
                                   [&](const VorbisStream& s) { return s.serial == serial; });
        if (stream != streams.end() && !gatherVorbisPage(*stream, page.data(), budget))
            return false;
    }
    return !serials.empty() && isWholeLink();
}

} // namespace

bool IsSaneOggPages(const uint8_t* data, size_t size, bool isVorbis)
{
    return isSaneOgg(Bytes(data, size), isVorbis);
}

std::string TakeSoundRefusal()
{
    return std::exchange(refusal, std::string());
}

bool CountVorbisSetupCost(const uint8_t* packet, size_t size, uint32_t channels, SVorbisSetupCost& cost)
{
    SetupBudget budget(size);
    if (!isSaneVorbisSetup(std::vector<uint8_t>(packet, packet + size), channels, budget))
        return false;
    cost = {budget.headerBytes, budget.tableBytes, budget.stackBytes};
    return true;
}
