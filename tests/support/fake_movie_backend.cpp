// The fake movie backend: records what the player asks and answers predictably.
#include "fake_movie_backend.h"

#include <cstring>

using platform::MovieEventArg;

bool FakeMovieBackend::raiseCommand(const std::string& command, const std::string& args)
{
    // The runtime stores its arguments last first: the args text, then the command.
    return raiseEvent(platform::MovieEventFSCommand, {{true, args}, {true, command}});
}

bool FakeMovieBackend::raiseEvent(int eventId, const std::vector<MovieEventArg>& args)
{
    return Events ? Events->onMovieEvent(eventId, args) : false;
}

void FakeMovieBackend::requestRepaint(const platform::MovieRect* area)
{
    if (Events) Events->onMovieRepaint(area);
}

uint32_t FakeMovieBackend::PatternAt(int x, int y, int frame)
{
    return uint32_t(x & 255) | uint32_t(y & 255) << 8 | uint32_t(frame & 255) << 16 | 0xFFu << 24;
}

bool FakeMovieBackend::load(std::string_view name, const platform::MovieReader& read)
{
    loadedName = std::string(name);
    calls.push_back("load");
    if (failLoad) return false;
    std::string error;
    if (read && !platform::ReadMovieHeader(read, Info, error)) Info = platform::MovieInfo();
    Loaded = true;
    Frame = 0;
    return true;
}

void FakeMovieBackend::play() { calls.push_back("play"); Playing = Loaded; }
void FakeMovieBackend::stop() { calls.push_back("stop"); Playing = false; }
void FakeMovieBackend::rewind() { calls.push_back("rewind"); Frame = 0; }
void FakeMovieBackend::gotoFrame(int frame) { calls.push_back("goto " + std::to_string(frame)); Frame = frame; }
void FakeMovieBackend::back() { calls.push_back("back"); if (Frame > 0) --Frame; }
void FakeMovieBackend::forward() { calls.push_back("forward"); ++Frame; }

std::string FakeMovieBackend::currentLabel(std::string_view target) const
{
    return "label of " + std::string(target);
}

void FakeMovieBackend::callFrame(std::string_view target, int frame)
{
    calls.push_back("callFrame " + std::string(target) + " " + std::to_string(frame));
}

void FakeMovieBackend::callLabel(std::string_view target, std::string_view label)
{
    calls.push_back("callLabel " + std::string(target) + " " + std::string(label));
}

std::string FakeMovieBackend::getVariable(std::string_view name) const
{
    for (const auto& v : Variables)
        if (v.first == name) return v.second;
    return {};
}

void FakeMovieBackend::setVariable(std::string_view name, std::string_view value)
{
    for (auto& v : Variables)
        if (v.first == name) { v.second = std::string(value); return; }
    Variables.emplace_back(std::string(name), std::string(value));
}

void FakeMovieBackend::setQuality(int index) { calls.push_back("quality " + std::to_string(index)); }

bool FakeMovieBackend::drawFrame(uint8_t* pixels, int width, int height, int pitch)
{
    if (failDraw || !Loaded || !pixels || width <= 0 || height <= 0 || pitch < width * 4) return false;
    ++drawCount;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t bgra = PatternAt(x, y, drawCount);
            std::memcpy(pixels + size_t(y) * size_t(pitch) + size_t(x) * 4, &bgra, 4);   // little-endian
        }
    return true;
}
