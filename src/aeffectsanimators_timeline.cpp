// Key tracks and the animator that plays a "-Animation.Timeline:" program.
#include "aeffectsanimators_timeline.h"

#include "module_enginebase.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "server_sound_bass.h"
#include "utils_debug.h"
#include "utils_str_parse.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace irr;

// --- CKeyTrack ---

void CKeyTrack::reset()
{
    State = 1;
    CurrentKey = -1;
    Times.clear();
    Values.clear();
    Modes.clear();
    Texts.clear();
    Loop = 0;
    MinTime = MaxTime = 0.0f;
    TimeOffset = 0.0f;
}

void CKeyTrack::addKey(f32 time, f32 value, s32 mode, const char* text)
{
    MinTime = core::min_(MinTime, time);
    MaxTime = core::max_(MaxTime, time);
    Times.push_back(time);
    Values.push_back(value);
    Modes.push_back(mode);
    Texts.push_back(CString(text ? text : ""));
    State = 1;
}

bool CKeyTrack::prepare(f32 timeScale, f32 valueScale)
{
    if (Times.empty()) {
        State = -1;
        return false;
    }
    // One key holds its value at every time: the copy keeps its mode (an
    // absolute key stays absolute) and its sound.
    if (Times.size() == 1) {
        const CString text = Texts[0];
        addKey(Times[0], Values[0], Modes[0], text);
    }
    if (timeScale != 1.0f) {
        for (u32 i = 0; i < Times.size(); ++i)
            Times[i] *= timeScale;
        MinTime *= timeScale;
        MaxTime *= timeScale;
    }
    if (valueScale != 1.0f)
        for (u32 i = 0; i < Values.size(); ++i)
            Values[i] *= valueScale;
    if (MinTime > MaxTime)
        core::swap(MinTime, MaxTime);
    State = 0;
    return true;
}

f32 CKeyTrack::valueAt(f32 t)
{
    if (State == 1)
        prepare(1.0f, 1.0f);
    if (State == -1)
        return 0.0f;
    t += TimeOffset;
    const s32 count = s32(Times.size());
    const f32 period = MaxTime - MinTime;
    if (Loop && period > 0.0f) {
        t = std::fmod(t - MinTime, period) + MinTime;
        if (t < MinTime)
            t += period;   // fmod keeps the sign of negative times
    } else {
        if (t > MaxTime) {
            CurrentKey = count - 1;
            return Values[u32(count - 1)];
        }
        if (t < MinTime) {
            CurrentKey = 0;
            return Values[0];
        }
    }
    s32 i = 0;
    while (i + 1 < count && Times[u32(i + 1)] < t)
        ++i;
    CurrentKey = i;
    // Keys out of time order, or all below 0, can put t past the last key
    // inside the span: it holds that key, as past the span.
    if (i + 1 == count)
        return Values[u32(i)];
    const f32 span = Times[u32(i + 1)] - Times[u32(i)];
    // A segment of no length (one key, or a jump) holds the later key's value.
    if (span <= 0.0f)
        return Values[u32(i + 1)];
    const f32 f = (t - Times[u32(i)]) / span;
    return (1.0f - f) * Values[u32(i)] + f * Values[u32(i + 1)];
}

s32 CKeyTrack::getCurrentMode() const
{
    return CurrentKey >= 0 && u32(CurrentKey) < Modes.size() ? Modes[u32(CurrentKey)] : 0;
}

const CString& CKeyTrack::getCurrentText() const
{
    static const CString empty;
    return CurrentKey >= 0 && u32(CurrentKey) < Texts.size() ? Texts[u32(CurrentKey)] : empty;
}

// --- program ---

namespace {

const char TrackLetters[] = "whxyzrfs";

int trackOfLetter(char c)
{
    const char* p = std::strchr(TrackLetters, c);
    return c && p ? int(p - TrackLetters) : -1;
}

f32 numberAfterEquals(const std::string& token)
{
    const size_t eq = token.find('=');
    return eq == std::string::npos ? 0.0f : StrToFloat(token.c_str() + eq + 1);
}

bool has(const std::string& token, const char* part) { return token.find(part) != std::string::npos; }

std::vector<std::string> splitAtBlanks(const char* text)
{
    std::vector<std::string> tokens;
    std::string current;
    for (const char* p = text ? text : ""; ; ++p) {
        if (*p == 0 || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            if (!current.empty() && current[0] != '/')
                tokens.push_back(current);
            current.clear();
            if (*p == 0)
                break;
        } else {
            current += *p;
        }
    }
    return tokens;
}

} // namespace

CScriptedAnimator::CScriptedAnimator(const char* program) : Program(program ? program : "")
{
    parse();
}

void CScriptedAnimator::parse()
{
    f32 now = 0, phase = 0, timeScale = 1.0f, valueScale = 1.0f;
    s32 modes[TrackCount] = {};
    s32 sounds = 0;
    for (const std::string& token : splitAtBlanks(Program)) {
        const char c = token[0];
        if (token.compare(0, 2, "t:") == 0) {
            if (has(token, "phase")) {
                const f32 shift = numberAfterEquals(token);
                phase += shift;
                for (CKeyTrack& track : Tracks)
                    track.addTimeOffset(shift);
            }
        } else if (c == 't' && token.size() > 1 && (std::isdigit((unsigned char)token[1]) || token[1] == '-' ||
                                                   token[1] == '.' || token[1] == '+')) {
            now = StrToFloat(token.c_str() + 1);
        } else if (token == "die") {
            DieTime = now - phase;
        } else if (token == "stop") {
            StopTime = now - phase;
        } else if (token.compare(0, 5, "scale") == 0) {
            if (token.size() > 5 && token[5] == 't')
                timeScale = StrToFloat(token.c_str() + 6);
            else if (token.size() > 5 && token[5] == 'v')
                valueScale = StrToFloat(token.c_str() + 6);
        } else if (token.size() > 1 && token[1] == ':' && trackOfLetter(c) >= 0 && c != 's') {
            const int k = trackOfLetter(c);
            if (c != 'f') {
                if (has(token, "absolute"))
                    modes[k] |= CKeyTrack::ModeAbsolute;
                if (has(token, "!absolute"))
                    modes[k] &= ~CKeyTrack::ModeAbsolute;
            }
            if (has(token, "incremental"))
                modes[k] |= CKeyTrack::ModeIncremental;
            if (has(token, "!incremental"))
                modes[k] &= ~CKeyTrack::ModeIncremental;
            if (has(token, "loop"))
                Tracks[k].setLoop(true);
            if (has(token, "phase"))
                Tracks[k].addTimeOffset(numberAfterEquals(token));
        } else if (trackOfLetter(c) >= 0 && c != 's' && token.size() > 1 && token[1] != ':') {
            const int k = trackOfLetter(c);
            f32 value = StrToFloat(token.c_str() + 1);
            if (c == 'r') {
                value = (value + 720.0f) * core::PI / 180.0f;
                ++RotationKeys;
            } else if (c == 'w' || c == 'h') {
                ++SizeKeys;
            } else if (c == 'f') {
                ++FadeKeys;
            } else {
                ++PositionKeys;
            }
            Tracks[k].addKey(now, value, modes[k], "");
        } else if (token.compare(0, 6, "sound:") == 0) {
            // reserved for options of the sound track
        } else if (c == 's') {
            ++sounds;
            ++SoundKeys;
            std::string name;
            const size_t open = token.find('[');
            const size_t close = open == std::string::npos ? open : token.find(']', open + 1);
            if (close != std::string::npos)
                name = token.substr(open + 1, close - open - 1);
            Tracks[TrackS].addKey(now, 0.0f, sounds, name.c_str());
        }
    }
    for (CKeyTrack& track : Tracks)
        track.prepare(timeScale, valueScale);
}

void CScriptedAnimator::onAttach(CNodeBasement* node)
{
    if (!node)
        return;
    StartPosition = node->getPosition();
    if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node))
        StartAngle = sprite->getAngle();
}

void CScriptedAnimator::applySize(CNodeBasement* node, f32 t)
{
    f32 size[2] = {BaseW, BaseH};
    for (int k = TrackW; k <= TrackH; ++k) {
        CKeyTrack& track = Tracks[k];
        if (!track.isReady())
            continue;
        const f32 v = track.valueAt(t);
        size[k] = (track.getCurrentMode() & CKeyTrack::ModeAbsolute) ? v : size[k] * v;
    }
    node->setSize(core::dimension2df(size[0], size[1]));
}

void CScriptedAnimator::applyPosition(CNodeBasement* node, f32 t)
{
    core::vector3df p = StartPosition;
    f32* component[3] = {&p.X, &p.Y, &p.Z};
    const core::vector3df current = node->getPosition();
    const f32 currentComponent[3] = {current.X, current.Y, current.Z};
    for (int k = 0; k < 3; ++k) {
        CKeyTrack& track = Tracks[TrackX + k];
        if (!track.isReady())
            continue;
        const f32 v = track.valueAt(t);
        const s32 mode = track.getCurrentMode();
        if (mode & CKeyTrack::ModeIncremental)
            *component[k] = currentComponent[k];
        *component[k] = (mode & CKeyTrack::ModeAbsolute) ? v : *component[k] + v;
    }
    node->setPosition(p);
}

void CScriptedAnimator::applyRotation(CNodeBasement* node, f32 t)
{
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    CKeyTrack& track = Tracks[TrackR];
    if (!sprite || !track.isReady())
        return;
    const f32 v = track.valueAt(t);
    const s32 mode = track.getCurrentMode();
    const f32 base = (mode & CKeyTrack::ModeIncremental) ? sprite->getAngle() : StartAngle;
    sprite->setAngle((mode & CKeyTrack::ModeAbsolute) ? v : base + v);
}

void CScriptedAnimator::applyFade(CNodeBasement* node, f32 t)
{
    CKeyTrack& track = Tracks[TrackF];
    if (!track.isReady())
        return;
    const f32 v = track.valueAt(t);
    const f32 base = (track.getCurrentMode() & CKeyTrack::ModeIncremental) ? node->getInheritedAlpha() : 0.0f;
    node->setInheritedAlpha(core::clamp(base + v, 0.0f, 1.0f));
}

void CScriptedAnimator::applySound(f32 t)
{
    CKeyTrack& track = Tracks[TrackS];
    if (!track.isReady())
        return;
    track.valueAt(t);
    const s32 number = track.getCurrentMode();
    if (number == LastSound)
        return;
    LastSound = number;
    const CString& name = track.getCurrentText();
    if (name.IsEmpty())
        return;
    // The server loads an effect when it first plays it, and one that cannot
    // be loaded ends the game with a box naming the sound: loaded here, the
    // box names the description as well.
    CSoundServer* sounds = getEngine()->getSoundServer();
    {
        CFatalErrorNote note(Format("The sound is played by the timeline of %s.",
                                    Owner.IsEmpty() ? "a sprite" : (const char*)Owner));
        sounds->loadRequestedEffect(name, -1.0f);
    }
    sounds->playEffect(name, -1.0f);
}

void CScriptedAnimator::animate(CNodeBasement* node, u32 localMs)
{
    ENGINE_PROFILE("TIMELINE");
    const f32 t = f32(localMs - getStartTime());
    if (!SizeCaptured) {
        BaseW = node->getSize().Width;
        BaseH = node->getSize().Height;
        SizeCaptured = true;
    }
    if (DieTime > 0 && DieTime < t) {
        deleteNode(node);
        removeThisAnimator();
        return;
    }
    if (SizeKeys > 0)
        applySize(node, t);
    if (PositionKeys > 0)
        applyPosition(node, t);
    if (RotationKeys > 0)
        applyRotation(node, t);
    if (FadeKeys > 0)
        applyFade(node, t);
    if (SoundKeys > 0)
        applySound(t);
    if (StopTime > 0 && StopTime < t)
        removeThisAnimator();
}
