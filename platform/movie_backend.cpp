// Movie header reading (plain, zlib and LZMA bodies) and the shipped header-only backend.
#include "movie_backend.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

constexpr size_t ChunkBytes = 16 * 1024;
constexpr size_t PrefixBytes = 64 * 1024;     // enough for the stage rectangle and the first tags
constexpr uint64_t LzmaMemLimit = 128u << 20; // an LZMA dictionary may claim up to 4 GiB
constexpr int TagEnd = 0, TagShowFrame = 1, TagSetBackgroundColor = 9, TagFileAttributes = 69;
constexpr int MaxTagsScanned = 256;

uint32_t readU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t readU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Fills `size` bytes unless the reader runs dry first; returns how many arrived.
size_t readFully(const MovieReader& read, uint8_t* out, size_t size)
{
    size_t got = 0;
    while (got < size) {
        size_t n = read(out + got, size - got);
        if (n == 0 || n > size - got) break;
        got += n;
    }
    return got;
}

// The movie's body after the eight header bytes, unpacked on the fly.
class BodySource {
public:
    virtual ~BodySource() = default;
    virtual size_t pull(uint8_t* out, size_t size) = 0;   // 0 at the end or on error
    std::string error;
};

class PlainSource final : public BodySource {
public:
    explicit PlainSource(const MovieReader& read) : Read(read) {}
    size_t pull(uint8_t* out, size_t size) override { return readFully(Read, out, size); }

private:
    const MovieReader& Read;
};

class ZlibSource final : public BodySource {
public:
    explicit ZlibSource(const MovieReader& read) : Read(read)
    {
        if (inflateInit(&Stream) != Z_OK) error = "cannot start zlib";
    }
    ~ZlibSource() override { inflateEnd(&Stream); }

    size_t pull(uint8_t* out, size_t size) override
    {
        if (!error.empty() || Ended) return 0;
        Stream.next_out = out;
        Stream.avail_out = uInt(size);
        while (Stream.avail_out > 0) {
            if (Stream.avail_in == 0 && !InputDone) {
                Stream.next_in = In;
                Stream.avail_in = uInt(readFully(Read, In, sizeof In));
                InputDone = Stream.avail_in == 0;
            }
            // Without input, inflate may still flush what it holds; Z_BUF_ERROR means it has no more.
            int rc = inflate(&Stream, Z_NO_FLUSH);
            if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && InputDone)) { Ended = true; break; }
            if (rc != Z_OK && rc != Z_BUF_ERROR) { error = "corrupt zlib data"; break; }
        }
        return size - Stream.avail_out;
    }

private:
    const MovieReader& Read;
    z_stream Stream{};
    uint8_t In[ChunkBytes];
    bool InputDone = false;
    bool Ended = false;
};

// ZWS: 4 bytes packed length, 5 LZMA property bytes, then the data. liblzma's "alone"
// decoder wants the properties followed by the unpacked size, so that header is made up.
class LzmaSource final : public BodySource {
public:
    LzmaSource(const MovieReader& read, uint64_t bodyBytes) : Read(read)
    {
        uint8_t head[9];
        if (readFully(read, head, sizeof head) != sizeof head) { error = "truncated LZMA header"; return; }
        std::memcpy(Pending, head + 4, 5);
        for (int i = 0; i < 8; ++i) Pending[5 + i] = uint8_t(bodyBytes >> (8 * i));
        PendingBytes = 13;
        if (lzma_alone_decoder(&Stream, LzmaMemLimit) != LZMA_OK) error = "cannot start LZMA";
    }
    ~LzmaSource() override { lzma_end(&Stream); }

    size_t pull(uint8_t* out, size_t size) override
    {
        if (!error.empty() || Ended) return 0;
        Stream.next_out = out;
        Stream.avail_out = size;
        while (Stream.avail_out > 0) {
            if (Stream.avail_in == 0 && !InputDone) InputDone = !refill();
            lzma_ret rc = lzma_code(&Stream, LZMA_RUN);
            if (rc == LZMA_STREAM_END || (rc == LZMA_BUF_ERROR && InputDone)) { Ended = true; break; }
            if (rc == LZMA_BUF_ERROR) continue;
            if (rc == LZMA_MEMLIMIT_ERROR) { error = "LZMA dictionary too large"; break; }
            if (rc != LZMA_OK) { error = "corrupt LZMA data"; break; }
        }
        return size - Stream.avail_out;
    }

private:
    bool refill()
    {
        if (PendingBytes > 0) {
            Stream.next_in = Pending;
            Stream.avail_in = PendingBytes;
            PendingBytes = 0;
            return true;
        }
        Stream.next_in = In;
        Stream.avail_in = readFully(Read, In, sizeof In);
        return Stream.avail_in > 0;
    }

    const MovieReader& Read;
    lzma_stream Stream = LZMA_STREAM_INIT;
    uint8_t Pending[13];
    size_t PendingBytes = 0;
    uint8_t In[ChunkBytes];
    bool InputDone = false;
    bool Ended = false;
};

// Most significant bit first, as the stage rectangle is stored.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : Data(data), Size(size) {}
    bool read(int count, uint32_t& value)
    {
        if (BitPos + size_t(count) > Size * 8) return false;
        value = 0;
        for (int i = 0; i < count; ++i, ++BitPos)
            value = value << 1 | ((Data[BitPos / 8] >> (7 - BitPos % 8)) & 1);
        return true;
    }
    bool readSigned(int count, int32_t& value)
    {
        uint32_t raw;
        if (!read(count, raw)) return false;
        if (count > 0 && (raw >> (count - 1) & 1)) raw |= ~0u << (count - 1);   // sign-extend
        value = int32_t(raw);
        return true;
    }
    size_t bytesUsed() const { return (BitPos + 7) / 8; }

private:
    const uint8_t* Data;
    size_t Size;
    size_t BitPos = 0;
};

bool parseStage(const uint8_t* body, size_t size, MovieInfo& info, size_t& used, std::string& error)
{
    BitReader bits(body, size);
    uint32_t nbits;
    int32_t* t = info.stageTwips;
    if (!bits.read(5, nbits) || !bits.readSigned(int(nbits), t[0]) || !bits.readSigned(int(nbits), t[1])
        || !bits.readSigned(int(nbits), t[2]) || !bits.readSigned(int(nbits), t[3])) {
        error = "truncated stage rectangle";
        return false;
    }
    if (t[1] < t[0] || t[3] < t[2]) {
        error = "stage rectangle has a negative size";
        return false;
    }
    info.widthPx = (int64_t(t[1]) - t[0]) / 20.0;
    info.heightPx = (int64_t(t[3]) - t[2]) / 20.0;
    used = bits.bytesUsed();
    if (size - used < 4) {
        error = "truncated frame rate and count";
        return false;
    }
    info.frameRate = body[used + 1] + body[used] / 256.0;
    info.frameCount = readU16(body + used + 2);
    used += 4;
    return true;
}

// Looks through the tags before the first frame for the background and the file flags.
void scanFirstTags(const uint8_t* body, size_t size, size_t pos, MovieInfo& info)
{
    for (int i = 0; i < MaxTagsScanned && size - pos >= 2; ++i) {
        uint16_t head = readU16(body + pos);
        pos += 2;
        int code = head >> 6;
        size_t length = head & 63;
        if (length == 63) {
            if (size - pos < 4) return;
            length = readU32(body + pos);
            pos += 4;
        }
        if (code == TagEnd || code == TagShowFrame || length > size - pos) return;
        if (code == TagSetBackgroundColor && length >= 3 && !info.hasBackground) {
            info.hasBackground = true;
            info.backgroundRgb = uint32_t(body[pos]) << 16 | body[pos + 1] << 8 | body[pos + 2];
        } else if (code == TagFileAttributes && length >= 4) {
            info.usesActionScript3 = (readU32(body + pos) & 0x08) != 0;
        }
        pos += length;
    }
}

std::unique_ptr<BodySource> makeBodySource(const MovieReader& read, MovieInfo::Packing packing,
                                           uint32_t bodyBytes)
{
    switch (packing) {
    case MovieInfo::Packing::Zlib: return std::make_unique<ZlibSource>(read);
    case MovieInfo::Packing::Lzma: return std::make_unique<LzmaSource>(read, bodyBytes);
    case MovieInfo::Packing::None: break;
    }
    return std::make_unique<PlainSource>(read);
}

bool readSignature(const uint8_t* head, MovieInfo& info, std::string& error)
{
    if (head[1] != 'W' || head[2] != 'S' || (head[0] != 'F' && head[0] != 'C' && head[0] != 'Z')) {
        error = "not a Flash movie (no FWS, CWS or ZWS signature)";
        return false;
    }
    info.packing = head[0] == 'C' ? MovieInfo::Packing::Zlib
                 : head[0] == 'Z' ? MovieInfo::Packing::Lzma : MovieInfo::Packing::None;
    info.version = head[3];
    info.declaredBytes = readU32(head + 4);
    char text[96];
    if (info.declaredBytes < 8 + 5) {
        std::snprintf(text, sizeof text, "declared length %" PRIu32 " is too short", info.declaredBytes);
        error = text;
        return false;
    }
    if (info.declaredBytes > MaxMovieBytes) {
        std::snprintf(text, sizeof text, "declared length %" PRIu32 " is over the %" PRIu32 " byte limit",
                      info.declaredBytes, MaxMovieBytes);
        error = text;
        return false;
    }
    return true;
}

// Unpacks the whole body (bounded by the declared length) into `prefix` and a scratch
// buffer, so that a truncated or corrupt movie is refused rather than half-read.
bool readBody(BodySource& source, uint32_t bodyBytes, std::vector<uint8_t>& prefix, std::string& error)
{
    prefix.resize(std::min<size_t>(bodyBytes, PrefixBytes));
    size_t total = source.pull(prefix.data(), prefix.size());
    if (total == prefix.size()) {
        std::vector<uint8_t> scratch(ChunkBytes);
        while (total < bodyBytes) {
            size_t n = source.pull(scratch.data(), std::min<size_t>(scratch.size(), bodyBytes - total));
            if (n == 0) break;
            total += n;
        }
    }
    if (!source.error.empty()) {
        error = source.error;
        return false;
    }
    if (total < bodyBytes) {
        char text[96];
        std::snprintf(text, sizeof text, "truncated: %zu of %" PRIu32 " body bytes", total, bodyBytes);
        error = text;
        return false;
    }
    return true;
}

const char* signatureOf(MovieInfo::Packing packing)
{
    switch (packing) {
    case MovieInfo::Packing::Zlib: return "CWS";
    case MovieInfo::Packing::Lzma: return "ZWS";
    case MovieInfo::Packing::None: break;
    }
    return "FWS";
}

class HeaderOnlyBackend final : public IMovieBackend {
public:
    explicit HeaderOnlyBackend(MovieLog log) : Log(std::move(log)) {}

    void setEvents(IMovieEvents*) override {}   // no script runs, so no events
    bool load(std::string_view name, const MovieReader& read) override
    {
        Info = MovieInfo();
        std::string error;
        if (!ReadMovieHeader(read, Info, error)) {
            log("Movie " + std::string(name) + " refused: " + error);
            return false;
        }
        log("Movie " + std::string(name) + ": " + DescribeMovie(Info));
        log("Flash movies are not rendered on this platform: " + std::string(name));
        return false;
    }
    const MovieInfo& info() const override { return Info; }
    bool canDraw() const override { return false; }

    void play() override {}
    void stop() override {}
    bool isPlaying() const override { return false; }
    void rewind() override {}
    void gotoFrame(int) override {}
    void back() override {}
    void forward() override {}
    int currentFrame() const override { return -1; }
    std::string currentLabel(std::string_view) const override { return {}; }
    void callFrame(std::string_view, int) override {}
    void callLabel(std::string_view, std::string_view) override {}
    std::string getVariable(std::string_view) const override { return {}; }
    void setVariable(std::string_view, std::string_view) override {}
    void setQuality(int) override {}
    void setBounds(const MovieRect&) override {}
    void sendMouse(MouseMessage, int, int) override {}
    bool drawFrame(uint8_t*, int, int, int) override { return false; }

private:
    void log(const std::string& line) const
    {
        if (Log) Log(line);
    }

    MovieLog Log;
    MovieInfo Info;
};

std::mutex g_factoryLock;
MovieBackendFactory g_factory;

}   // namespace

bool ReadMovieHeader(const MovieReader& read, MovieInfo& info, std::string& error)
{
    info = MovieInfo();
    uint8_t head[8];
    if (readFully(read, head, sizeof head) != sizeof head) {
        error = "shorter than a movie header";
        return false;
    }
    if (!readSignature(head, info, error)) return false;
    uint32_t bodyBytes = info.declaredBytes - 8;
    std::unique_ptr<BodySource> source = makeBodySource(read, info.packing, bodyBytes);
    if (!source->error.empty()) {
        error = source->error;
        return false;
    }
    std::vector<uint8_t> prefix;
    if (!readBody(*source, bodyBytes, prefix, error)) return false;
    size_t used = 0;
    if (!parseStage(prefix.data(), prefix.size(), info, used, error)) return false;
    scanFirstTags(prefix.data(), prefix.size(), used, info);
    return true;
}

MovieReader MakeMemoryMovieReader(const uint8_t* data, size_t size)
{
    size_t pos = 0;
    return [data, size, pos](uint8_t* out, size_t want) mutable {
        size_t n = std::min(want, size - pos);
        if (n) std::memcpy(out, data + pos, n);
        pos += n;
        return n;
    };
}

std::string DescribeMovie(const MovieInfo& info)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s version %d, %gx%g px, %.2f fps, %u frames, %" PRIu32 " bytes",
                  signatureOf(info.packing), info.version, info.widthPx, info.heightPx, info.frameRate,
                  unsigned(info.frameCount), info.declaredBytes);
    std::string line = text;
    if (info.hasBackground) {
        std::snprintf(text, sizeof text, ", background #%06" PRIX32, info.backgroundRgb);
        line += text;
    }
    if (info.usesActionScript3) line += ", ActionScript 3";
    return line;
}

std::unique_ptr<IMovieBackend> CreateHeaderOnlyMovieBackend(MovieLog log)
{
    return std::make_unique<HeaderOnlyBackend>(std::move(log));
}

std::unique_ptr<IMovieBackend> CreateMovieBackend(MovieLog log)
{
    MovieBackendFactory factory;
    {
        std::lock_guard<std::mutex> lock(g_factoryLock);
        factory = g_factory;
    }
    return factory ? factory(std::move(log)) : CreateHeaderOnlyMovieBackend(std::move(log));
}

MovieBackendFactory SetMovieBackendFactory(MovieBackendFactory factory)
{
    std::lock_guard<std::mutex> lock(g_factoryLock);
    std::swap(g_factory, factory);
    return factory;
}

double MovieRuntimeVersion()
{
    return 0.0;
}

}   // namespace platform
