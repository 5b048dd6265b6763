// A texture-stage device that only records: for tests of the material renderers.
#pragma once
#include "texture_stages.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <vector>

class CRecordingTextureStages final : public ITextureStages {
public:
    enum class CallKind { TextureStageState, RenderState, Commit, RestoreDriverState };

    struct Call {
        CallKind Kind;
        uint32_t Stage;   // texture-stage states only
        uint32_t State;
        uint32_t Value;
        bool operator==(const Call& other) const;
        bool operator!=(const Call& other) const { return !(*this == other); }
    };
    static Call stageCall(uint32_t stage, uint32_t state, uint32_t value);
    static Call renderCall(uint32_t state, uint32_t value);
    static Call commitCall();
    static Call restoreCall();

    CRecordingTextureStages();

    void SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override;
    void SetRenderState(uint32_t state, uint32_t value) override;
    void commit() override;
    void restoreDriverState() override;
    void GetDeviceCaps(d3d8::D3DCAPS8& caps) const override { caps = Caps; }

    // Every call in order since construction or the last clearCalls().
    const std::vector<Call>& calls() const { return Calls; }
    void clearCalls() { Calls.clear(); }
    // The last value set for a state over the whole life (clearCalls does not forget it).
    std::optional<uint32_t> textureStageState(uint32_t stage, uint32_t state) const;
    std::optional<uint32_t> renderState(uint32_t state) const;

    // What GetDeviceCaps answers; by default 2048 x 2048, 8 stages, every operation.
    d3d8::D3DCAPS8 Caps;

private:
    void remember(const Call& call);
    std::optional<uint32_t> lastValue(CallKind kind, uint32_t stage, uint32_t state) const;

    std::vector<Call> Calls;
    std::vector<Call> LastValues;   // one entry per (kind, stage, state)
};

// For readable test failures.
std::ostream& operator<<(std::ostream& out, const CRecordingTextureStages::Call& call);
