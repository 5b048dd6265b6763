// The movie player backend: what the portable movie player logic asks of a movie runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What a movie file's header says. Sizes in pixels are the stage rectangle's twips / 20.
struct MovieInfo {
    enum class Packing { None, Zlib, Lzma };
    Packing packing = Packing::None;   // FWS, CWS, ZWS
    int version = 0;
    uint32_t declaredBytes = 0;        // whole file once unpacked, the 8 header bytes included
    int32_t stageTwips[4] = {};        // xmin, xmax, ymin, ymax
    double widthPx = 0, heightPx = 0;
    double frameRate = 0;              // frames per second (8.8 fixed point in the file)
    uint16_t frameCount = 0;
    bool hasBackground = false;
    uint32_t backgroundRgb = 0;        // 0xRRGGBB, from the first SetBackgroundColor tag
    bool usesActionScript3 = false;    // FileAttributes flag
};

// Pulls up to `size` bytes into `buffer`; returns how many arrived, 0 at the end or on error.
using MovieReader = std::function<size_t(uint8_t* buffer, size_t size)>;
using MovieLog = std::function<void(std::string_view line)>;

// Refuses movies that declare more than this once unpacked, against zip bombs.
constexpr uint32_t MaxMovieBytes = 64u << 20;

// Reads and checks a movie header from `read`, unpacking at most the declared length.
// False with a one-line reason in `error` for anything that is not a sound movie file.
[[nodiscard]] bool ReadMovieHeader(const MovieReader& read, MovieInfo& info, std::string& error);
MovieReader MakeMemoryMovieReader(const uint8_t* data, size_t size);   // borrows `data`
std::string DescribeMovie(const MovieInfo& info);                      // one log line

// Window-message-like mouse input, in the drawing's pixels (origin top left).
enum class MouseMessage { Move, LeftDown, LeftUp };

// Event ids a movie raises, with the runtime's own numbers.
constexpr int MovieEventReadyState = -609;
constexpr int MovieEventProgress = 1958;
constexpr int MovieEventFSCommand = 150;   // two string arguments: args text, then the command

// One argument of a raised event; only strings carry text.
struct MovieEventArg {
    bool isString = false;
    std::string text;
};

// Area in drawing pixels that the movie asks to be redrawn.
struct MovieRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Implemented by the player; called on the thread that drives the backend.
class IMovieEvents {
public:
    virtual ~IMovieEvents() = default;
    // `args` in the runtime's array order (the last argument first). False for unknown ids.
    virtual bool onMovieEvent(int eventId, const std::vector<MovieEventArg>& args) = 0;
    // null: the whole drawing.
    virtual void onMovieRepaint(const MovieRect* area) = 0;
};

class IMovieBackend {
public:
    virtual ~IMovieBackend() = default;

    // Borrowed; null to stop events.
    virtual void setEvents(IMovieEvents* events) = 0;
    // Reads `read` as the movie named `name` (for log lines). True only when this backend
    // will play it; the header it found stays in info() either way.
    [[nodiscard]] virtual bool load(std::string_view name, const MovieReader& read) = 0;
    virtual const MovieInfo& info() const = 0;
    virtual bool canDraw() const = 0;

    virtual void play() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual void rewind() = 0;
    virtual void gotoFrame(int frame) = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual int currentFrame() const = 0;   // -1 when nothing is loaded
    virtual std::string currentLabel(std::string_view target) const = 0;
    virtual void callFrame(std::string_view target, int frame) = 0;
    virtual void callLabel(std::string_view target, std::string_view label) = 0;
    virtual std::string getVariable(std::string_view name) const = 0;
    virtual void setVariable(std::string_view name, std::string_view value) = 0;
    virtual void setQuality(int index) = 0;   // 0 low, 1 medium, 2 high

    // Placement of the drawing inside the runtime's own coordinates.
    virtual void setBounds(const MovieRect& bounds) = 0;
    virtual void sendMouse(MouseMessage message, int x, int y) = 0;
    // Draws the current frame as top-down 32-bit BGRA rows `pitch` bytes apart.
    // False (buffer untouched) when nothing was drawn.
    [[nodiscard]] virtual bool drawFrame(uint8_t* pixels, int width, int height, int pitch) = 0;
};

// The shipped backend: checks the movie's header, logs it, and plays nothing.
std::unique_ptr<IMovieBackend> CreateHeaderOnlyMovieBackend(MovieLog log);

// What the player calls. Tests swap the factory for one making a fake; an empty
// factory restores the shipped backend. Returns the previous factory.
using MovieBackendFactory = std::function<std::unique_ptr<IMovieBackend>(MovieLog log)>;
std::unique_ptr<IMovieBackend> CreateMovieBackend(MovieLog log);
MovieBackendFactory SetMovieBackendFactory(MovieBackendFactory factory);

// Runtime version as major.minor; 0 when no runtime exists.
double MovieRuntimeVersion();

}   // namespace platform
