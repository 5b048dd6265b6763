// Movie sprites: the movie player that draws a movie's frames into a sprite's
// own texture, and the animator behind "-Animation.Flash:" that runs it.
// The movie runtime itself sits behind platform::IMovieBackend.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include "movie_backend.h"

#include <irrString.h>
#include <irrTypes.h>
#include <rect.h>

#include <memory>
#include <vector>

namespace irr { namespace video { class ITexture; } }

class CNodeBasement;
class CNodeFactory;
struct SSpriteCreateInfo;

// What a user of the player may hear about.
class IFlashListener {
public:
    virtual ~IFlashListener() = default;
    // Once, when a playing movie stops by itself (only while not paused).
    virtual void onFlashFinished(irr::u32 userValue) = 0;
    virtual void onFlashCommand(irr::u32 userValue, const irr::core::stringc& command,
                                const irr::core::stringc& args) = 0;
};

class CFlashPlayer : public platform::IMovieEvents {
public:
    enum { StateStopped = 0, StatePlaying = 1, StateFinished = 2 };

    // Makes the backend; the listener and node are borrowed.
    CFlashPlayer(irr::u32 userValue, IFlashListener* listener, CNodeBasement* node);
    ~CFlashPlayer() override;
    CFlashPlayer(const CFlashPlayer&) = delete;
    CFlashPlayer& operator=(const CFlashPlayer&) = delete;

    // False without a backend or without a usable texture (A8R8G8B8) on the node's layer 0.
    bool init(bool transparent);
    // Reads the movie at the data path through the file layer; false when the backend refuses it.
    bool loadMovie(const CString& path);

    virtual void setRect(irr::s32 x0, irr::s32 y0, irr::s32 x1, irr::s32 y1);
    virtual void update();
    virtual void render();
    // u, v: position in the sprite in units of its size, v from the bottom.
    virtual void onMouseDown(irr::f32 u, irr::f32 v, int ignore, int extra);
    virtual void onMouseUp(irr::f32 u, irr::f32 v, int ignore, int extra);
    virtual void onMouseMove(irr::f32 u, irr::f32 v);
    virtual void hideCursorOnEvent(int, int) { hideSystemCursor(); }
    virtual void hideCursorNow() { hideSystemCursor(); }
    virtual void invalidate() { Dirty = true; }
    void setDirty() { Dirty = true; }
    irr::core::recti getRect() const { return irr::core::recti(0, 0, Width, Height); }

    // Nested pause: only the outermost stop and resume reach the movie.
    void stop();
    void resume();
    void rewind();
    void gotoFrame(int frame);
    void back();
    void forward();
    bool isPlaying() const;
    int getCurrentFrame() const;
    CString getCurrentLabel(const char* target) const;
    void callFrame(const char* target, int frame);
    void callLabel(const char* target, const char* label);
    CString getVariable(const char* name) const;
    void setVariable(const char* name, const char* value);
    void setQuality(int index);
    static double getFlashVersion();

    // --- platform::IMovieEvents ---
    bool onMovieEvent(int eventId, const std::vector<platform::MovieEventArg>& args) override;
    // A command of the movie, handed to the listener when there is one.
    void onFSCommand(const char* command, const char* args);
    void onMovieRepaint(const platform::MovieRect* area) override;

    // --- inspection ---
    int getState() const { return State; }
    int getPauseDepth() const { return PauseDepth; }
    bool isDirty() const { return Dirty; }
    const irr::core::recti& getDirtyRect() const { return Rect; }
    bool hasBitmap() const { return !Pixels.empty(); }
    size_t getPixelBufferSize() const { return Pixels.size(); }
    irr::s32 getWidth() const { return Width; }
    irr::s32 getHeight() const { return Height; }

private:
    irr::video::ITexture* texture() const;
    bool createTexture();
    bool copyToTexture();
    void sendMouse(platform::MouseMessage message, irr::f32 u, irr::f32 v);
    void hideSystemCursor();

    irr::s32 Width = 0, Height = 0;
    int State = StateStopped;
    irr::u32 UserValue;
    IFlashListener* Listener;   // borrowed
    std::unique_ptr<platform::IMovieBackend> Backend;
    bool Initialized = false;
    int PauseDepth = 0;
    irr::core::recti Rect;
    bool Dirty = true;
    CNodeBasement* Node;        // borrowed
    bool Transparent = false;
    bool CopyRefused = false;   // the texture stopped fitting; logged once
    std::vector<irr::u8> Pixels;
};

// Plays a movie into its sprite's texture and forwards the mouse to it.
class CFlashAnimator : public CBaseAnimator {
public:
    static constexpr irr::u32 HoverKeepMs = 2000;

    CFlashAnimator(CNodeBasement* node, const CString& moviePath, int interactive);
    ~CFlashAnimator() override;

    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;
    void onFinish() override;

    CFlashPlayer* getPlayer() const { return Player; }
    const CString& getMoviePath() const { return MoviePath; }
    int getInteractive() const { return Interactive; }

private:
    bool start();
    void forwardMouse();

    int Pressed = 0;
    irr::u32 HoverUntil = 0;
    CFlashPlayer* Player = nullptr;   // owned
    CNodeBasement* FlashNode;         // borrowed: the node holds the animator
    CString MoviePath;
    int Interactive;
    bool Registered = false;
};

// The "-Animation.Flash:" row of sprite creation: "path[...]", "interactive[...]", "discretion[...]".
void makeFlashAnimator(const CNodeFactory& description, CNodeBasement* node, const SSpriteCreateInfo* createInfo,
                       const char* site);
// Puts makeFlashAnimator into the sprite creation's row table.
void InstallFlashRowMaker();
