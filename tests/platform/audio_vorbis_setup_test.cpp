// The Ogg check's Vorbis set-up budget against the library it guards: for
// generated setup headers, what libvorbis really allocates while it reads
// them and builds its decode tables, and the stack it takes, grow no faster
// than the check counts. The budget's sizes are one library version's: a
// version that takes more fails here.
#include "audio_decode.h"
#include "heap_meter.h"
#include "vorbis_headers.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <vorbis/codec.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Bits least significant first, as Vorbis packs them; past 64 bits, zeros.
class BitWriter {
public:
    void put(uint64_t value, int count)
    {
        for (int i = 0; i < count; ++i, ++Bits) {
            if (Bits % 8 == 0)
                Bytes.push_back(0);
            Bytes.back() |= uint8_t((i < 64 ? value >> i & 1 : 0) << (Bits % 8));
        }
    }
    void putHeader(int type)
    {
        put(uint64_t(type), 8);
        for (char c : std::string("vorbis"))
            put(uint8_t(c), 8);
    }
    std::vector<uint8_t> Bytes;

private:
    uint64_t Bits = 0;
};

int bitLength(uint64_t value) { return 64 - __builtin_clzll(value); }   // of a value above 0

} // namespace

std::vector<uint8_t> makeSetup(const std::vector<SBook>& books, uint32_t groupBook, uint32_t partitions)
{
    BitWriter w;
    w.putHeader(5);
    w.put(books.size() - 1, 8);
    for (const SBook& book : books) {
        w.put(0x564342, 24); w.put(book.dimensions, 16); w.put(book.entries, 24);
        w.put(1, 1);   // ordered: every codeword of the one length, or the runs
        if (book.runs.empty()) {
            w.put(uint64_t(bitLength(book.entries) - 2), 5); w.put(book.entries, bitLength(book.entries));
        } else {
            w.put(book.firstLength - 1, 5);
            for (uint32_t i = 0, k = 0; i < book.entries; i += book.runs[k++])
                w.put(book.runs[k], bitLength(book.entries - i));
        }
        w.put(book.lookup, 4);
        if (book.lookup == 0)
            continue;
        w.put(0, 64);   // least value and step 0, 1 bit a value, no sequence
        w.put(0, 4 + 1);
        uint64_t values = uint64_t(book.entries) * book.dimensions;
        if (book.lookup == 1)
            for (values = 1; std::pow(double(values + 1), double(book.dimensions)) <= book.entries;)
                ++values;
        for (uint64_t i = 0; i < values; ++i)
            w.put(i & 1, 1);
    }
    w.put(0, 6 + 16);   // one time transform, a placeholder
    w.put(0, 6); w.put(1, 16); w.put(0, 5 + 2); w.put(8, 4);   // one floor of type 1, no partitions
    w.put(0, 6 + 16 + 3 * 24);   // one residue of type 0, empty
    w.put(partitions - 1, 6); w.put(groupBook, 8); w.put(0, 4 * partitions);   // no stage in any class
    w.put(0, 6 + 16 + 4 + 24);   // one mapping: no submaps or coupling, floor 0, residue 0
    w.put(0, 6 + 1 + 32 + 8);    // one mode
    w.put(1, 1);
    return w.Bytes;
}

std::vector<std::vector<uint8_t>> makeHeaders(const std::vector<uint8_t>& setup)
{
    BitWriter identification, comment;
    identification.putHeader(1);
    identification.put(0, 32); identification.put(1, 8); identification.put(22050, 32);   // mono
    identification.put(0, 32); identification.put(0, 32); identification.put(0, 32);   // no bit rates
    identification.put(8, 4); identification.put(11, 4); identification.put(1, 1);
    comment.putHeader(3);
    comment.put(0, 64);   // no vendor, no texts
    comment.put(1, 1);
    return {identification.Bytes, comment.Bytes, setup};
}

namespace {

struct SMeasured {
    uint64_t headerBytes = 0, tableBytes = 0, stackBytes = 0;
    bool isSetUp = false;
};

struct SSetupRun {
    const std::vector<uint8_t>* setup;
    SMeasured measured;
};

// libvorbis reads the three headers and sets up its decoder.
void* setUp(void* data)
{
    SSetupRun& run = *static_cast<SSetupRun*>(data);
    std::vector<std::vector<uint8_t>> headers = makeHeaders(*run.setup);
    vorbis_info info;
    vorbis_comment comments;
    vorbis_info_init(&info);
    vorbis_comment_init(&comments);
    bool isRead = true;
    CHeapMeter heap;
    for (int i = 0; i < 3 && isRead; ++i) {
        ogg_packet packet{};
        packet.packet = headers[i].data();
        packet.bytes = long(headers[i].size());
        packet.b_o_s = i == 0;
        packet.packetno = i;
        isRead = vorbis_synthesis_headerin(&info, &comments, &packet) == 0;
    }
    run.measured.headerBytes = heap.peakBytes();
    if (isRead) {
        heap.restart();
        vorbis_dsp_state dsp;
        vorbis_block block;
        if (vorbis_synthesis_init(&dsp, &info) == 0) {
            run.measured.isSetUp = vorbis_block_init(&dsp, &block) == 0;
            run.measured.tableBytes = heap.peakBytes();
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
    }
    vorbis_comment_clear(&comments);
    vorbis_info_clear(&info);
    return nullptr;
}

// Run on a thread whose stack is painted first: the stack taken is what
// is no longer paint.
SMeasured measure(const std::vector<uint8_t>& setup)
{
    constexpr size_t StackSize = size_t(32) << 20;
    void* stack = mmap(nullptr, StackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(stack, MAP_FAILED);
    if (stack == MAP_FAILED)
        return {};
    std::memset(stack, 0xA5, StackSize);
    SSetupRun run{&setup, {}};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, stack, StackSize);
    pthread_t thread;
    EXPECT_EQ(pthread_create(&thread, &attributes, setUp, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    const uint8_t* bytes = static_cast<const uint8_t*>(stack);
    size_t untouched = 0;
    while (untouched < StackSize && bytes[untouched] == 0xA5)
        ++untouched;
    run.measured.stackBytes = StackSize - untouched;
    munmap(stack, StackSize);
    return run.measured;
}

TEST(AudioVorbisSetup, LibraryTakesNoMoreThanTheCheckCounts)
{
    constexpr uint32_t Large = 1u << 18;   // the most entries the check lets a codebook have
    const SBook tiny = {2, 1, 0};
    const std::vector<uint8_t> smallest = makeSetup({tiny}, 0, 1);
    struct Case {
        const char* what;
        std::vector<uint8_t> setup;
    } cases[] = {
        {"codebooks", makeSetup(std::vector<SBook>(256, tiny), 0, 1)},
        {"codebook entries", makeSetup({tiny, {Large, 1, 0}, {Large, 1, 0}, {Large, 1, 0}}, 0, 1)},
        {"lattice values", makeSetup({tiny, {Large, 1, 1}, {Large, 2, 1}}, 0, 1)},
        {"listed values", makeSetup({tiny, {Large / 4, 16, 2}}, 0, 1)},
        {"residue classes", makeSetup({tiny, {Large, 3, 0}}, 1, 64)},
    };
    SVorbisSetupCost base;
    ASSERT_TRUE(CountVorbisSetupCost(smallest.data(), smallest.size(), 1, base));
    const SMeasured baseMeasured = measure(smallest);
    EXPECT_TRUE(baseMeasured.isSetUp);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SVorbisSetupCost cost;
        ASSERT_TRUE(CountVorbisSetupCost(c.setup.data(), c.setup.size(), 1, cost));
        const SMeasured m = measure(c.setup);
        EXPECT_TRUE(m.isSetUp);
        const int64_t header = int64_t(m.headerBytes - baseMeasured.headerBytes);
        const int64_t stack = int64_t(m.stackBytes) - int64_t(baseMeasured.stackBytes);
        const int64_t tables = int64_t(m.tableBytes - baseMeasured.tableBytes) + stack;
        EXPECT_LE(header, int64_t(cost.headerBytes - base.headerBytes));
        EXPECT_LE(tables, int64_t(cost.tableBytes - base.tableBytes));
        EXPECT_LE(stack, int64_t(cost.stackBytes - base.stackBytes));
        EXPECT_GT(header, 0) << "the meter sees the library";
        EXPECT_GT(tables, 0);
    }
}

// Codeword lengths in order, as runs of each length: the check takes them
// when, and only when, the library does.
TEST(AudioVorbisSetup, OrderedCodewordLengthsAreTakenAsTheLibraryTakesThem)
{
    std::vector<uint32_t> oneOfEachThenTwo(31, 1);
    oneOfEachThenTwo.push_back(2);
    const struct {
        const char* what;
        uint32_t firstLength;
        std::vector<uint32_t> runs;
        bool isTaken;
    } cases[] = {
        {"a whole tree", 1, {1, 1, 2}, true},
        {"a place left", 1, {1, 1, 1}, false},
        {"one too many", 1, {1, 1, 3}, false},
        {"after lengths of none", 3, {0, 0, 32}, true},
        {"one codeword of length 1", 1, {1}, true},
        {"one codeword of length 2", 2, {1}, false},
        {"one codeword after a length of none", 1, {0, 1}, false},
        {"the most entries, of one length", 18, {1u << 18}, true},
        {"one entry fewer", 18, {(1u << 18) - 1}, false},
        {"one entry fewer, then two longer", 17, {(1u << 17) - 1, 2}, true},
        {"one of each length down to two of 32", 1, oneOfEachThenTwo, true},
        {"lengths past 32", 31, {1, 1, 1}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t entries = 0;
        for (uint32_t run : c.runs)
            entries += run;
        const std::vector<uint8_t> setup = makeSetup({{2, 1, 0}, {entries, 1, 0, c.firstLength, c.runs}}, 0, 1);
        SVorbisSetupCost cost;
        EXPECT_EQ(measure(setup).isSetUp, c.isTaken);
        EXPECT_EQ(CountVorbisSetupCost(setup.data(), setup.size(), 1, cost), c.isTaken);
    }
}

} // namespace
