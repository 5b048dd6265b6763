// A movie backend for tests: plays a pretend timeline, draws a known pattern, raises events on request.
#pragma once

#include "movie_backend.h"

#include <string>
#include <vector>

class FakeMovieBackend final : public platform::IMovieBackend {
public:
    struct Mouse {
        platform::MouseMessage message;
        int x, y;
    };

    // Knobs a test sets before the player uses the backend.
    bool failLoad = false;
    bool failDraw = false;

    // What the player did.
    std::string loadedName;
    std::vector<Mouse> mouse;
    std::vector<platform::MovieRect> bounds;
    std::vector<std::string> calls;   // "play", "stop", "rewind", "goto 3", "quality 2", ...
    int drawCount = 0;

    // Scripted behaviour.
    void finish() { Playing = false; }   // the movie ends by itself
    bool raiseCommand(const std::string& command, const std::string& args);
    bool raiseEvent(int eventId, const std::vector<platform::MovieEventArg>& args);
    void requestRepaint(const platform::MovieRect* area);
    // The pattern drawFrame writes at (x, y) for draw number `frame`, as B, G, R, A bytes.
    static uint32_t PatternAt(int x, int y, int frame);

    void setEvents(platform::IMovieEvents* events) override { Events = events; }
    bool load(std::string_view name, const platform::MovieReader& read) override;
    const platform::MovieInfo& info() const override { return Info; }
    bool canDraw() const override { return true; }

    void play() override;
    void stop() override;
    bool isPlaying() const override { return Playing; }
    void rewind() override;
    void gotoFrame(int frame) override;
    void back() override;
    void forward() override;
    int currentFrame() const override { return Loaded ? Frame : -1; }
    std::string currentLabel(std::string_view target) const override;
    void callFrame(std::string_view target, int frame) override;
    void callLabel(std::string_view target, std::string_view label) override;
    std::string getVariable(std::string_view name) const override;
    void setVariable(std::string_view name, std::string_view value) override;
    void setQuality(int index) override;
    void setBounds(const platform::MovieRect& rect) override { bounds.push_back(rect); }
    void sendMouse(platform::MouseMessage message, int x, int y) override { mouse.push_back({message, x, y}); }
    bool drawFrame(uint8_t* pixels, int width, int height, int pitch) override;

private:
    platform::IMovieEvents* Events = nullptr;   // borrowed
    platform::MovieInfo Info;
    std::vector<std::pair<std::string, std::string>> Variables;
    bool Loaded = false;
    bool Playing = false;
    int Frame = 0;
};
