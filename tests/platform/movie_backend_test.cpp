// Movie header reading on movies made here, the header-only backend, the factory hook and the fake.
#include "movie_backend.h"

#include "fake_movie_backend.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <random>

using namespace platform;

namespace {

using Bytes = std::vector<uint8_t>;

struct Stage {
    int32_t xmin, xmax, ymin, ymax;
};

void putU16(Bytes& out, uint32_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); }
void putU32(Bytes& out, uint32_t v) { putU16(out, v & 0xFFFF); putU16(out, v >> 16); }

int bitsFor(int32_t v)
{
    int n = 1;
    while (n < 32 && (v < -(int64_t(1) << (n - 1)) || v >= (int64_t(1) << (n - 1)))) ++n;
    return n;
}

Bytes encodeStage(const Stage& s, int forceBits = 0)
{
    int n = forceBits ? forceBits
                      : std::max({bitsFor(s.xmin), bitsFor(s.xmax), bitsFor(s.ymin), bitsFor(s.ymax)});
    std::vector<bool> bits;
    auto put = [&](uint32_t v, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
    };
    put(uint32_t(n), 5);
    for (int32_t v : {s.xmin, s.xmax, s.ymin, s.ymax}) put(uint32_t(v), n);
    Bytes out((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
    return out;
}

void putTag(Bytes& out, int code, const Bytes& data, bool longForm = false)
{
    if (!longForm && data.size() < 63) {
        putU16(out, uint32_t(code << 6) | uint32_t(data.size()));
    } else {
        putU16(out, uint32_t(code << 6) | 63);
        putU32(out, uint32_t(data.size()));
    }
    out.insert(out.end(), data.begin(), data.end());
}

// Stage 550x400 px, 24.5 fps, 120 frames, background #336699, ActionScript 3.
Bytes sampleBody(const Stage& stage = {0, 11000, 0, 8000})
{
    Bytes body = encodeStage(stage);
    body.push_back(0x80);   // 8.8 rate: fraction byte first
    body.push_back(24);
    putU16(body, 120);
    putTag(body, 69, {0x08, 0, 0, 0});
    putTag(body, 9, {0x33, 0x66, 0x99}, true);
    putTag(body, 1, {});
    putTag(body, 0, {});
    return body;
}

Bytes header(char first, uint8_t version, uint32_t declared)
{
    Bytes out = {uint8_t(first), 'W', 'S', version};
    putU32(out, declared);
    return out;
}

Bytes zlibPack(const Bytes& data)
{
    uLongf size = compressBound(uLong(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), uLong(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

// liblzma's "alone" format is 5 property bytes, 8 size bytes, then the data.
Bytes lzmaPack(const Bytes& data)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream strm = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_alone_encoder(&strm, &options), LZMA_OK);
    Bytes out(data.size() + data.size() / 2 + 1024);
    strm.next_in = data.data();
    strm.avail_in = data.size();
    strm.next_out = out.data();
    strm.avail_out = out.size();
    EXPECT_EQ(lzma_code(&strm, LZMA_FINISH), LZMA_STREAM_END);
    out.resize(out.size() - strm.avail_out);
    lzma_end(&strm);
    return out;
}

Bytes makeMovie(char packing, const Bytes& body, uint8_t version = 10)
{
    Bytes out = header(packing, version, uint32_t(body.size() + 8));
    if (packing == 'F') {
        out.insert(out.end(), body.begin(), body.end());
    } else if (packing == 'C') {
        Bytes packed = zlibPack(body);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        Bytes alone = lzmaPack(body);
        putU32(out, uint32_t(alone.size() - 13));
        out.insert(out.end(), alone.begin(), alone.begin() + 5);
        out.insert(out.end(), alone.begin() + 13, alone.end());
    }
    return out;
}

bool readHeader(const Bytes& file, MovieInfo& info, std::string& error)
{
    return ReadMovieHeader(MakeMemoryMovieReader(file.data(), file.size()), info, error);
}

}   // namespace

TEST(MovieHeader, ReadsEveryPacking)
{
    for (char packing : {'F', 'C', 'Z'}) {
        SCOPED_TRACE(packing);
        Bytes body = sampleBody();
        MovieInfo info;
        std::string error;
        ASSERT_TRUE(readHeader(makeMovie(packing, body), info, error)) << error;
        EXPECT_EQ(info.packing, packing == 'F' ? MovieInfo::Packing::None
                                : packing == 'C' ? MovieInfo::Packing::Zlib : MovieInfo::Packing::Lzma);
        EXPECT_EQ(info.version, 10);
        EXPECT_EQ(info.declaredBytes, body.size() + 8);
        EXPECT_DOUBLE_EQ(info.widthPx, 550);
        EXPECT_DOUBLE_EQ(info.heightPx, 400);
        EXPECT_DOUBLE_EQ(info.frameRate, 24.5);
        EXPECT_EQ(info.frameCount, 120);
        EXPECT_TRUE(info.hasBackground);
        EXPECT_EQ(info.backgroundRgb, 0x336699u);
        EXPECT_TRUE(info.usesActionScript3);
    }
}

TEST(MovieHeader, StageRectangleEdges)
{
    struct Case {
        Stage stage;
        int forceBits;
        double width, height;
    } cases[] = {
        {{-200, 10010, 40, 8040}, 0, 510.5, 400},             // offset origin, half pixels
        {{0, 0, 0, 0}, 0, 0, 0},                                // empty stage, one bit each
        {{-(1 << 30), (1 << 30) - 1, 0, 20}, 31, 107374182.35, 1},   // widest field
        {{0, 11000, 0, 8000}, 20, 550, 400},                    // more bits than needed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        Bytes body = encodeStage(c.stage, c.forceBits);
        body.insert(body.end(), {0, 30, 1, 0});
        MovieInfo info;
        std::string error;
        ASSERT_TRUE(readHeader(makeMovie('F', body), info, error)) << error;
        EXPECT_NEAR(info.widthPx, c.width, 1e-6);
        EXPECT_NEAR(info.heightPx, c.height, 1e-6);
        EXPECT_EQ(info.stageTwips[0], c.stage.xmin);
        EXPECT_EQ(info.stageTwips[1], c.stage.xmax);
        EXPECT_DOUBLE_EQ(info.frameRate, 30);
        EXPECT_EQ(info.frameCount, 1);
        EXPECT_FALSE(info.hasBackground);
    }
}

TEST(MovieHeader, RefusesBadFiles)
{
    Bytes good = makeMovie('F', sampleBody());
    Bytes cws = makeMovie('C', sampleBody());
    Bytes zws = makeMovie('Z', sampleBody());
    Bytes bomb = header('C', 10, 0xFFFFFFF0u);
    Bytes zeros = zlibPack(Bytes(1 << 20, 0));
    bomb.insert(bomb.end(), zeros.begin(), zeros.end());
    Bytes garbage = header('C', 10, 500);
    garbage.insert(garbage.end(), 64, 0xAB);
    Bytes wideStage = header('F', 10, 8 + 6);
    Bytes wide = encodeStage({0, 100, 0, 100}, 31);
    wideStage.insert(wideStage.end(), wide.begin(), wide.begin() + 6);
    Bytes inverted = encodeStage({500, 100, 0, 100});
    inverted.insert(inverted.end(), {0, 12, 1, 0});
    Bytes lzmaHugeDict = zws;
    lzmaHugeDict[13] = lzmaHugeDict[14] = lzmaHugeDict[15] = lzmaHugeDict[16] = 0xFF;   // 4 GiB dictionary

    struct Case {
        const char* what;
        Bytes file;
        const char* reason;
    } cases[] = {
        {"empty", {}, "shorter than a movie header"},
        {"picture", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0}, "not a Flash movie"},
        {"lower-case signature", {'f', 'w', 's', 10, 20, 0, 0, 0}, "not a Flash movie"},
        {"tiny declared length", header('F', 10, 12), "too short"},
        {"zip bomb header", bomb, "over the"},
        {"cut plain body", Bytes(good.begin(), good.end() - 5), "truncated"},
        {"cut zlib body", Bytes(cws.begin(), cws.begin() + long(cws.size()) / 2), "truncated"},
        {"cut LZMA body", Bytes(zws.begin(), zws.begin() + long(zws.size()) / 2), "truncated"},
        {"cut LZMA properties", Bytes(zws.begin(), zws.begin() + 12), "truncated LZMA header"},
        {"not zlib data", garbage, "corrupt zlib"},
        {"stage cut short", wideStage, "truncated stage"},
        {"inverted stage", makeMovie('F', inverted), "negative size"},
        {"LZMA dictionary too large", lzmaHugeDict, "LZMA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MovieInfo info;
        std::string error;
        EXPECT_FALSE(readHeader(c.file, info, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(MovieHeader, UnpackingStopsAtTheDeclaredLength)
{
    // 64 MiB of zeros behind a header declaring a small movie: only what was declared is unpacked.
    Bytes body = sampleBody();
    body.resize(64u << 20, 0);
    Bytes packed = zlibPack(body);
    Bytes file = header('C', 10, 2000);
    file.insert(file.end(), packed.begin(), packed.end());
    size_t pos = 0;
    MovieReader counting = [&](uint8_t* out, size_t want) {
        size_t n = std::min(want, file.size() - pos);
        std::copy_n(file.begin() + long(pos), n, out);
        pos += n;
        return n;
    };
    MovieInfo info;
    std::string error;
    ASSERT_TRUE(ReadMovieHeader(counting, info, error)) << error;
    EXPECT_EQ(info.frameCount, 120);
    EXPECT_LT(pos, file.size());
}

TEST(MovieHeader, AcceptsReadersThatDeliverByteByByte)
{
    for (char packing : {'F', 'C', 'Z'}) {
        Bytes file = makeMovie(packing, sampleBody());
        size_t pos = 0;
        MovieReader trickle = [&](uint8_t* out, size_t want) {
            if (pos >= file.size() || want == 0) return size_t(0);
            *out = file[pos++];
            return size_t(1);
        };
        MovieInfo info;
        std::string error;
        EXPECT_TRUE(ReadMovieHeader(trickle, info, error)) << packing << ": " << error;
        EXPECT_EQ(info.backgroundRgb, 0x336699u);
    }
}

TEST(MovieHeader, SurvivesRandomAndMutatedInput)
{
    std::mt19937 rng(20);
    std::vector<Bytes> seeds = {makeMovie('F', sampleBody()), makeMovie('C', sampleBody()),
                                makeMovie('Z', sampleBody())};
    for (int round = 0; round < 1500; ++round) {
        Bytes file;
        if (round % 3 == 0) {
            file.resize(rng() % 80);
            for (auto& b : file) b = uint8_t(rng());
            if (file.size() >= 3 && round % 2) { file[0] = "FCZ"[rng() % 3]; file[1] = 'W'; file[2] = 'S'; }
        } else {
            file = seeds[rng() % seeds.size()];
            for (int flips = 1 + int(rng() % 4); flips > 0; --flips) file[rng() % file.size()] = uint8_t(rng());
            if (rng() % 4 == 0) file.resize(rng() % file.size());
        }
        MovieInfo info;
        std::string error;
        if (readHeader(file, info, error)) {
            EXPECT_LE(info.declaredBytes, MaxMovieBytes);
            EXPECT_GE(info.widthPx, 0);
            EXPECT_GE(info.heightPx, 0);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(MovieHeader, DescribesWhatItFound)
{
    MovieInfo info;
    std::string error;
    ASSERT_TRUE(readHeader(makeMovie('C', sampleBody(), 9), info, error));
    EXPECT_EQ(DescribeMovie(info), "CWS version 9, 550x400 px, 24.50 fps, 120 frames, " +
                                       std::to_string(info.declaredBytes) +
                                       " bytes, background #336699, ActionScript 3");
}

TEST(HeaderOnlyMovieBackend, LogsTheHeaderAndPlaysNothing)
{
    std::vector<std::string> lines;
    auto backend = CreateHeaderOnlyMovieBackend([&](std::string_view line) { lines.emplace_back(line); });
    Bytes file = makeMovie('F', sampleBody());
    EXPECT_FALSE(backend->load("intro.swf", MakeMemoryMovieReader(file.data(), file.size())));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Movie intro.swf: FWS version 10, 550x400 px", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "Flash movies are not rendered on this platform: intro.swf");
    EXPECT_EQ(backend->info().frameCount, 120);
    EXPECT_FALSE(backend->canDraw());

    backend->play();
    EXPECT_FALSE(backend->isPlaying());
    EXPECT_EQ(backend->currentFrame(), -1);
    uint8_t pixels[16] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_FALSE(backend->drawFrame(pixels, 2, 2, 8));
    for (uint8_t b : pixels) EXPECT_EQ(b, 7);

    lines.clear();
    const char text[] = "<html><body>";
    EXPECT_FALSE(backend->load("page.swf", MakeMemoryMovieReader(reinterpret_cast<const uint8_t*>(text), 12)));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Movie page.swf refused: not a Flash movie (no FWS, CWS or ZWS signature)");
    EXPECT_EQ(backend->info().frameCount, 0);
}

TEST(MovieBackendFactory, TestsSwapTheBackend)
{
    SetMovieBackendFactory([](MovieLog) { return std::make_unique<FakeMovieBackend>(); });
    EXPECT_TRUE(CreateMovieBackend(nullptr)->canDraw());
    SetMovieBackendFactory(nullptr);
    EXPECT_FALSE(CreateMovieBackend(nullptr)->canDraw());
    EXPECT_EQ(MovieRuntimeVersion(), 0.0);
}

namespace {
struct RecordingEvents : IMovieEvents {
    std::vector<std::pair<int, std::vector<MovieEventArg>>> events;
    int wholeRepaints = 0;
    std::vector<MovieRect> repaints;
    bool onMovieEvent(int id, const std::vector<MovieEventArg>& args) override
    {
        events.emplace_back(id, args);
        return true;
    }
    void onMovieRepaint(const MovieRect* area) override
    {
        if (area) repaints.push_back(*area); else ++wholeRepaints;
    }
};
}   // namespace

TEST(FakeMovieBackend, DrawsWithinPitchAndRaisesEvents)
{
    FakeMovieBackend fake;
    RecordingEvents events;
    fake.setEvents(&events);
    ASSERT_TRUE(fake.load("m.swf", nullptr));
    Bytes pixels(3 * 16, 0xEE);   // 3 rows of 3 pixels, 4 bytes of padding each
    ASSERT_TRUE(fake.drawFrame(pixels.data(), 3, 3, 16));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint32_t v = FakeMovieBackend::PatternAt(x, y, 1);
            const uint8_t* p = &pixels[size_t(y * 16 + x * 4)];
            EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24, v);
        }
        for (int pad = 12; pad < 16; ++pad) EXPECT_EQ(pixels[size_t(y * 16 + pad)], 0xEE);
    }
    EXPECT_FALSE(fake.drawFrame(pixels.data(), 5, 3, 16));   // pitch too small

    fake.raiseCommand("quit", "1,2");
    fake.requestRepaint(nullptr);
    MovieRect r{10, 10, 20, 20};
    fake.requestRepaint(&r);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].first, MovieEventFSCommand);
    ASSERT_EQ(events.events[0].second.size(), 2u);
    EXPECT_EQ(events.events[0].second[0].text, "1,2");
    EXPECT_EQ(events.events[0].second[1].text, "quit");
    EXPECT_EQ(events.wholeRepaints, 1);
    ASSERT_EQ(events.repaints.size(), 1u);
    EXPECT_EQ(events.repaints[0].x1, 20);
}
