// The "-Animation.Timeline:" key program: eight key tracks (width, height,
// x, y, z, rotation, fade, sound) played by one animator.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <irrArray.h>
#include <irrTypes.h>
#include <vector3d.h>

// Timed keys evaluated by linear interpolation, optionally looping.
class CKeyTrack {
public:
    static constexpr irr::s32 ModeAbsolute = 1;
    static constexpr irr::s32 ModeIncremental = 2;

    CKeyTrack() { reset(); }
    void reset();
    void addKey(irr::f32 time, irr::f32 value, irr::s32 mode, const char* text);
    // False when the track has no keys.
    bool prepare(irr::f32 timeScale, irr::f32 valueScale);
    irr::f32 valueAt(irr::f32 time);
    bool isReady() const { return State == 0; }
    irr::s32 getCurrentMode() const;
    const CString& getCurrentText() const;
    irr::s32 getCurrentKey() const { return CurrentKey; }
    irr::u32 getKeyCount() const { return Times.size(); }

    void setLoop(bool on) { Loop = on ? 1 : 0; }
    void addTimeOffset(irr::f32 ms) { TimeOffset += ms; }

private:
    irr::s32 State;        // 1 not prepared, 0 ready, -1 no keys
    irr::s32 CurrentKey;
    irr::core::array<irr::f32> Times;
    irr::core::array<irr::f32> Values;
    irr::core::array<irr::s32> Modes;
    irr::core::array<CString> Texts;
    irr::s32 Loop;
    irr::f32 MinTime, MaxTime;
    irr::f32 TimeOffset;
};

// Plays a key program on its node: size, position, rotation, fade and sounds;
// "die" deletes the node, "stop" removes the animator.
class CScriptedAnimator : public CBaseAnimator {
public:
    enum ETrack { TrackW, TrackH, TrackX, TrackY, TrackZ, TrackR, TrackF, TrackS, TrackCount };

    explicit CScriptedAnimator(const char* program);
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

    // Who plays the program ("the sprite 'NAME' of 'FILE'"), named by the box
    // of a sound that cannot be loaded.
    void setOwner(const CString& owner) { Owner = owner; }

    CKeyTrack& getTrack(ETrack track) { return Tracks[track]; }
    irr::f32 getDieTime() const { return DieTime; }
    irr::f32 getStopTime() const { return StopTime; }

private:
    void parse();
    void applySize(CNodeBasement* node, irr::f32 t);
    void applyPosition(CNodeBasement* node, irr::f32 t);
    void applyRotation(CNodeBasement* node, irr::f32 t);
    void applyFade(CNodeBasement* node, irr::f32 t);
    void applySound(irr::f32 t);

    CString Program;
    CString Owner;
    irr::s32 PositionKeys = 0, SizeKeys = 0, RotationKeys = 0, FadeKeys = 0, SoundKeys = 0;
    irr::f32 DieTime = -1.0f, StopTime = -1.0f;
    irr::f32 BaseW = 0, BaseH = 0;
    bool SizeCaptured = false;
    irr::core::vector3df StartPosition;
    irr::f32 StartAngle = 0;
    irr::s32 LastSound = 0;
    CKeyTrack Tracks[TrackCount];
};
