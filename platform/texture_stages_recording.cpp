// The recording texture-stage device.
#include "texture_stages_recording.h"

#include <algorithm>
#include <ostream>

using Call = CRecordingTextureStages::Call;
using CallKind = CRecordingTextureStages::CallKind;

bool Call::operator==(const Call& other) const
{
    return Kind == other.Kind && Stage == other.Stage && State == other.State && Value == other.Value;
}

Call CRecordingTextureStages::stageCall(uint32_t stage, uint32_t state, uint32_t value)
{
    return Call{CallKind::TextureStageState, stage, state, value};
}

Call CRecordingTextureStages::renderCall(uint32_t state, uint32_t value)
{
    return Call{CallKind::RenderState, 0, state, value};
}

Call CRecordingTextureStages::commitCall()
{
    return Call{CallKind::Commit, 0, 0, 0};
}

Call CRecordingTextureStages::restoreCall()
{
    return Call{CallKind::RestoreDriverState, 0, 0, 0};
}

CRecordingTextureStages::CRecordingTextureStages()
{
    Caps.MaxTextureWidth = Caps.MaxTextureHeight = 2048;
    Caps.MaxTextureBlendStages = Caps.MaxSimultaneousTextures = 8;
    for (uint32_t op = d3d8::D3DTOP_DISABLE; op <= d3d8::D3DTOP_LERP; ++op)
        Caps.TextureOpCaps |= d3d8::D3DTEXOPCAPS(op);
}

void CRecordingTextureStages::SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value)
{
    remember(stageCall(stage, state, value));
}

void CRecordingTextureStages::SetRenderState(uint32_t state, uint32_t value)
{
    remember(renderCall(state, value));
}

void CRecordingTextureStages::commit()
{
    Calls.push_back(commitCall());
}

void CRecordingTextureStages::restoreDriverState()
{
    Calls.push_back(restoreCall());
}

std::optional<uint32_t> CRecordingTextureStages::textureStageState(uint32_t stage, uint32_t state) const
{
    return lastValue(CallKind::TextureStageState, stage, state);
}

std::optional<uint32_t> CRecordingTextureStages::renderState(uint32_t state) const
{
    return lastValue(CallKind::RenderState, 0, state);
}

std::optional<uint32_t> CRecordingTextureStages::lastValue(CallKind kind, uint32_t stage, uint32_t state) const
{
    for (const Call& c : LastValues) {
        if (c.Kind == kind && c.Stage == stage && c.State == state) return c.Value;
    }
    return std::nullopt;
}

void CRecordingTextureStages::remember(const Call& call)
{
    Calls.push_back(call);
    const auto same = [&](const Call& c) {
        return c.Kind == call.Kind && c.Stage == call.Stage && c.State == call.State;
    };
    const auto it = std::find_if(LastValues.begin(), LastValues.end(), same);
    if (it != LastValues.end())
        it->Value = call.Value;
    else
        LastValues.push_back(call);
}

std::ostream& operator<<(std::ostream& out, const Call& call)
{
    switch (call.Kind) {
    case CallKind::TextureStageState:
        return out << "SetTextureStageState(" << call.Stage << ", " << call.State << ", " << call.Value << ")";
    case CallKind::RenderState:
        return out << "SetRenderState(" << call.State << ", " << call.Value << ")";
    case CallKind::Commit: return out << "commit()";
    case CallKind::RestoreDriverState: return out << "restoreDriverState()";
    }
    return out;
}
