// The recording texture-stage device and the Direct3D 8 to OpenGL combine and blend table.
#include "texture_stages.h"
#include "texture_stages_gl.h"
#include "texture_stages_recording.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace d3d8;
using glstages::CombineArg;
using glstages::CombineFeatures;
using glstages::CombineSetup;
using glstages::StageChannel;
using Rec = CRecordingTextureStages;

namespace glstages {   // found by argument lookup from inside gtest

bool operator==(const CombineArg& a, const CombineArg& b)
{
    return a.Source == b.Source && a.Operand == b.Operand;
}

std::ostream& operator<<(std::ostream& out, const CombineArg& a)
{
    return out << "{0x" << std::hex << a.Source << ", 0x" << a.Operand << std::dec << "}";
}

} // namespace glstages

namespace {

constexpr CombineArg Prim{GL_PRIMARY_COLOR, GL_SRC_COLOR};
constexpr CombineArg Prev{GL_PREVIOUS, GL_SRC_COLOR};
constexpr CombineArg Tex{GL_TEXTURE, GL_SRC_COLOR};
constexpr CombineArg Const{GL_CONSTANT, GL_SRC_COLOR};
constexpr CombineArg InvTex{GL_TEXTURE, GL_ONE_MINUS_SRC_COLOR};
constexpr CombineArg TexA{GL_TEXTURE, GL_SRC_ALPHA};
constexpr CombineArg InvTexA{GL_TEXTURE, GL_ONE_MINUS_SRC_ALPHA};
constexpr CombineArg PrimA{GL_PRIMARY_COLOR, GL_SRC_ALPHA};
constexpr CombineArg PrevA{GL_PREVIOUS, GL_SRC_ALPHA};
constexpr CombineArg ConstA{GL_CONSTANT, GL_SRC_ALPHA};
constexpr CombineArg InvConstA{GL_CONSTANT, GL_ONE_MINUS_SRC_ALPHA};
constexpr CombineArg InvConst{GL_CONSTANT, GL_ONE_MINUS_SRC_COLOR};
constexpr CombineArg InvPrimA{GL_PRIMARY_COLOR, GL_ONE_MINUS_SRC_ALPHA};

TEST(RecordingTextureStages, RecordsEveryCallInOrder)
{
    Rec device;
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);   // repeats are kept
    device.commit();
    device.restoreDriverState();
    const std::vector<Rec::Call> expected = {
        Rec::stageCall(0, D3DTSS_COLOROP, D3DTOP_MODULATE),
        Rec::renderCall(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
        Rec::stageCall(0, D3DTSS_COLOROP, D3DTOP_MODULATE),
        Rec::commitCall(),
        Rec::restoreCall(),
    };
    EXPECT_EQ(device.calls(), expected);
    device.clearCalls();
    EXPECT_TRUE(device.calls().empty());
}

TEST(RecordingTextureStages, RemembersTheLastValuePerStageAndState)
{
    Rec device;
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    // 27 is ALPHABLENDENABLE as a render state and ALPHAARG0 as a stage state.
    device.SetTextureStageState(0, D3DTSS_ALPHAARG0, D3DTA_TEXTURE);
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device.clearCalls();

    EXPECT_EQ(device.textureStageState(0, D3DTSS_COLOROP), D3DTOP_MODULATE2X);
    EXPECT_EQ(device.textureStageState(1, D3DTSS_COLOROP), D3DTOP_DISABLE);
    EXPECT_EQ(device.textureStageState(0, D3DTSS_ALPHAARG0), D3DTA_TEXTURE);
    EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_FALSE(device.textureStageState(2, D3DTSS_COLOROP).has_value());
    EXPECT_FALSE(device.renderState(D3DRS_DESTBLEND).has_value());
}

TEST(RecordingTextureStages, AnswersCapsFromItsTable)
{
    Rec device;
    D3DCAPS8 caps;
    device.GetDeviceCaps(caps);
    EXPECT_EQ(caps.MaxTextureWidth, 2048u);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS(D3DTOP_LERP));

    device.Caps.MaxTextureWidth = 1024;
    device.Caps.MaxTextureBlendStages = 2;
    device.Caps.TextureOpCaps = D3DTEXOPCAPS(D3DTOP_MODULATE);
    device.GetDeviceCaps(caps);
    EXPECT_EQ(caps.MaxTextureWidth, 1024u);
    EXPECT_EQ(caps.MaxTextureBlendStages, 2u);
    EXPECT_EQ(caps.TextureOpCaps, 0x8u);
    EXPECT_TRUE(device.calls().empty());
}

TEST(TextureStagesGL, ArgumentsMapToSourcesAndOperands)
{
    struct Row { uint32_t arg; bool isAlpha; CombineArg expected; };
    const Row rows[] = {
        {D3DTA_DIFFUSE, false, Prim},
        {D3DTA_CURRENT, false, Prev},
        {D3DTA_TEXTURE, false, Tex},
        {D3DTA_TFACTOR, false, Const},
        {D3DTA_TEMP, false, Prev},
        {D3DTA_SPECULAR, false, InvConst},   // black
        {D3DTA_SPECULAR | D3DTA_COMPLEMENT, false, Const},
        {D3DTA_TEXTURE | D3DTA_COMPLEMENT, false, InvTex},
        {D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, false, TexA},
        {D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, false, InvTexA},
        {D3DTA_TEXTURE, true, TexA},
        {D3DTA_TEXTURE | D3DTA_COMPLEMENT, true, InvTexA},
        {D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, true, TexA},
        {D3DTA_DIFFUSE | D3DTA_COMPLEMENT, true, InvPrimA},
        {D3DTA_SPECULAR, true, InvConstA},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "arg 0x" << std::hex << row.arg << " alpha " << row.isAlpha);
        EXPECT_EQ(glstages::MapStageArg(row.arg, row.isAlpha), row.expected);
    }
}

TEST(TextureStagesGL, OperationsMapToCombineModes)
{
    // Arguments: arg0 CURRENT, arg1 TEXTURE, arg2 DIFFUSE; stage 0 unless noted.
    struct Row { uint32_t op; bool isAlpha; uint32_t mode; CombineArg s0, s1, s2; float scale; };
    const Row rows[] = {
        {D3DTOP_SELECTARG1, false, GL_REPLACE, Tex, Tex, Tex, 1},
        {D3DTOP_SELECTARG2, false, GL_REPLACE, Prim, Prim, Prim, 1},
        {D3DTOP_MODULATE, false, GL_MODULATE, Tex, Prim, Tex, 1},
        {D3DTOP_MODULATE2X, false, GL_MODULATE, Tex, Prim, Tex, 2},
        {D3DTOP_MODULATE4X, false, GL_MODULATE, Tex, Prim, Tex, 4},
        {D3DTOP_MODULATE2X, true, GL_MODULATE, TexA, PrimA, TexA, 2},
        {D3DTOP_ADD, false, GL_ADD, Tex, Prim, Tex, 1},
        {D3DTOP_ADDSIGNED, false, GL_ADD_SIGNED, Tex, Prim, Tex, 1},
        {D3DTOP_ADDSIGNED2X, false, GL_ADD_SIGNED, Tex, Prim, Tex, 2},
        {D3DTOP_SUBTRACT, false, GL_SUBTRACT, Tex, Prim, Tex, 1},
        {D3DTOP_BLENDDIFFUSEALPHA, false, GL_INTERPOLATE, Tex, Prim, PrimA, 1},
        {D3DTOP_BLENDTEXTUREALPHA, false, GL_INTERPOLATE, Tex, Prim, TexA, 1},
        {D3DTOP_BLENDFACTORALPHA, false, GL_INTERPOLATE, Tex, Prim, ConstA, 1},
        {D3DTOP_BLENDCURRENTALPHA, false, GL_INTERPOLATE, Tex, Prim, PrevA, 1},
        {D3DTOP_BLENDTEXTUREALPHA, true, GL_INTERPOLATE, TexA, PrimA, TexA, 1},
        {D3DTOP_LERP, false, GL_INTERPOLATE, Tex, Prim, Prev, 1},
        {D3DTOP_DOTPRODUCT3, false, GL_DOT3_RGBA, Tex, Prim, Tex, 1},
        // s0 * s2 + s1
        {D3DTOP_ADDSMOOTH, false, GL_MODULATE_ADD_ATI, Prim, Tex, InvTex, 1},
        {D3DTOP_BLENDTEXTUREALPHAPM, false, GL_MODULATE_ADD_ATI, Prim, Tex, InvTexA, 1},
        {D3DTOP_MULTIPLYADD, false, GL_MODULATE_ADD_ATI, Prim, Tex, Prev, 1},
        {D3DTOP_MODULATEALPHA_ADDCOLOR, false, GL_MODULATE_ADD_ATI, TexA, Tex, Prim, 1},
        {D3DTOP_MODULATECOLOR_ADDALPHA, false, GL_MODULATE_ADD_ATI, Tex, TexA, Prim, 1},
        {D3DTOP_MODULATEINVALPHA_ADDCOLOR, false, GL_MODULATE_ADD_ATI, InvTexA, Tex, Prim, 1},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, false, GL_MODULATE_ADD_ATI, InvTex, TexA, Prim, 1},
        {D3DTOP_ADDSMOOTH, true, GL_MODULATE_ADD_ATI, PrimA, TexA, InvTexA, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "op " << row.op << " alpha " << row.isAlpha);
        const StageChannel channel{row.op, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_DIFFUSE};
        const CombineSetup setup = glstages::MapStageOp(channel, 0, row.isAlpha, CombineFeatures{});
        EXPECT_EQ(setup.Mode, row.mode);
        EXPECT_EQ(setup.Args[0], row.s0);
        if (row.mode != GL_REPLACE) {
            EXPECT_EQ(setup.Args[1], row.s1);
        }
        if (row.mode == GL_INTERPOLATE || row.mode == GL_MODULATE_ADD_ATI) {
            EXPECT_EQ(setup.Args[2], row.s2);
        }
        EXPECT_EQ(setup.Scale, row.scale);
        EXPECT_TRUE(setup.IsExact);
    }
}

TEST(TextureStagesGL, DisableShowsDiffuseOnStageZeroAndPassesOnLater)
{
    const StageChannel off{D3DTOP_DISABLE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TEXTURE};
    const CombineSetup first = glstages::MapStageOp(off, 0, false, CombineFeatures{});
    const CombineSetup later = glstages::MapStageOp(off, 1, true, CombineFeatures{});
    EXPECT_EQ(first.Mode, uint32_t(GL_REPLACE));
    EXPECT_EQ(first.Args[0], Prim);
    EXPECT_EQ(first.Scale, 1.0f);
    EXPECT_EQ(later.Mode, uint32_t(GL_REPLACE));
    EXPECT_EQ(later.Args[0], PrevA);
    EXPECT_TRUE(first.IsExact && later.IsExact);
}

TEST(TextureStagesGL, UnsupportedOperationsFallBackToModulateAndSaySo)
{
    CombineFeatures plain;
    plain.Combine3 = false;
    plain.Dot3 = false;
    struct Row { uint32_t op; bool isAlpha; CombineFeatures features; };
    const Row rows[] = {
        {0, false, CombineFeatures{}},   // unknown constant names read as 0
        {27, false, CombineFeatures{}},
        {0x7fffffff, true, CombineFeatures{}},
        {D3DTOP_BUMPENVMAP, false, CombineFeatures{}},
        {D3DTOP_BUMPENVMAPLUMINANCE, false, CombineFeatures{}},
        {D3DTOP_PREMODULATE, false, CombineFeatures{}},
        {D3DTOP_DOTPRODUCT3, true, CombineFeatures{}},
        {D3DTOP_MODULATEALPHA_ADDCOLOR, true, CombineFeatures{}},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, true, CombineFeatures{}},
        {D3DTOP_DOTPRODUCT3, false, plain},
        {D3DTOP_ADDSMOOTH, false, plain},
        {D3DTOP_MULTIPLYADD, true, plain},
        {D3DTOP_MODULATECOLOR_ADDALPHA, false, plain},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "op " << row.op << " alpha " << row.isAlpha);
        const StageChannel channel{row.op, D3DTA_CURRENT, D3DTA_DIFFUSE, D3DTA_TEXTURE};
        const CombineSetup setup = glstages::MapStageOp(channel, 0, row.isAlpha, row.features);
        EXPECT_FALSE(setup.IsExact);
        EXPECT_EQ(setup.Mode, uint32_t(GL_MODULATE));
        EXPECT_EQ(setup.Args[0].Source, uint32_t(GL_PRIMARY_COLOR));
        EXPECT_EQ(setup.Args[1].Source, uint32_t(GL_TEXTURE));
        EXPECT_EQ(setup.Scale, 1.0f);
    }
}

TEST(TextureStagesGL, TempArgumentIsApproximateOnlyWhereTheOperationReadsIt)
{
    struct Row { uint32_t op; uint32_t arg0, arg1, arg2; bool isExact; };
    const Row rows[] = {
        {D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEMP, D3DTA_TEXTURE, false},
        {D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TEMP, true},
        {D3DTOP_SELECTARG2, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TEMP, false},
        {D3DTOP_ADD, D3DTA_TEMP, D3DTA_TEXTURE, D3DTA_DIFFUSE, true},
        {D3DTOP_LERP, D3DTA_TEMP, D3DTA_TEXTURE, D3DTA_DIFFUSE, false},
        {D3DTOP_DISABLE, D3DTA_TEMP, D3DTA_TEMP, D3DTA_TEMP, true},
        {D3DTOP_ADD, D3DTA_CURRENT, D3DTA_SELECTMASK, D3DTA_DIFFUSE, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "op " << row.op);
        const StageChannel channel{row.op, row.arg0, row.arg1, row.arg2};
        EXPECT_EQ(glstages::MapStageOp(channel, 0, false, CombineFeatures{}).IsExact, row.isExact);
    }
}

TEST(TextureStagesGL, OperationCapsFollowTheContextFeatures)
{
    uint32_t approximate = 0;
    for (uint32_t op : {D3DTOP_PREMODULATE, D3DTOP_BUMPENVMAP, D3DTOP_BUMPENVMAPLUMINANCE})
        approximate |= D3DTEXOPCAPS(op);
    const uint32_t all = (1u << D3DTOP_LERP) - 1;
    EXPECT_EQ(glstages::TextureOpCapsFor(CombineFeatures{}), all & ~approximate);

    CombineFeatures plain;
    plain.Combine3 = false;
    plain.Dot3 = false;
    for (uint32_t op : {D3DTOP_ADDSMOOTH, D3DTOP_BLENDTEXTUREALPHAPM, D3DTOP_MODULATEALPHA_ADDCOLOR,
                        D3DTOP_MODULATECOLOR_ADDALPHA, D3DTOP_MODULATEINVALPHA_ADDCOLOR,
                        D3DTOP_MODULATEINVCOLOR_ADDALPHA, D3DTOP_MULTIPLYADD, D3DTOP_DOTPRODUCT3})
        approximate |= D3DTEXOPCAPS(op);
    EXPECT_EQ(glstages::TextureOpCapsFor(plain), all & ~approximate);
}

TEST(TextureStagesGL, BlendFactorsMapToBlendFunc)
{
    struct Row { uint32_t src, dst; uint32_t glSrc, glDst; bool isExact; };
    const Row rows[] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true},
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE, GL_SRC_ALPHA, GL_ONE, true},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, GL_ZERO, GL_SRC_COLOR, true},
        {D3DBLEND_INVSRCCOLOR, D3DBLEND_DESTCOLOR, GL_ONE_MINUS_SRC_COLOR, GL_DST_COLOR, true},
        {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, GL_ONE_MINUS_DST_COLOR, GL_ZERO, true},
        // The frame has no alpha of its own: destination alpha reads as one.
        {D3DBLEND_SRCALPHA, D3DBLEND_DESTALPHA, GL_SRC_ALPHA, GL_ONE, true},
        {D3DBLEND_INVDESTALPHA, D3DBLEND_ONE, GL_ZERO, GL_ONE, true},
        {D3DBLEND_SRCALPHASAT, D3DBLEND_ONE, GL_SRC_ALPHA_SATURATE, GL_ONE, true},
        {D3DBLEND_BOTHSRCALPHA, D3DBLEND_ONE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true},
        {D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, true},
        {0, D3DBLEND_ZERO, GL_SRC_ALPHA, GL_ZERO, false},
        {D3DBLEND_ONE, 0, GL_ONE, GL_ONE, false},
        {D3DBLEND_ONE, D3DBLEND_SRCALPHASAT, GL_ONE, GL_ONE, false},
        {D3DBLEND_ONE, D3DBLEND_BOTHSRCALPHA, GL_ONE, GL_ONE, false},
        {14, 0x7fffffff, GL_SRC_ALPHA, GL_ONE, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "blend " << row.src << ", " << row.dst);
        const glstages::BlendFunc f = glstages::MapBlendFactors(row.src, row.dst);
        EXPECT_EQ(f.Src, row.glSrc);
        EXPECT_EQ(f.Dst, row.glDst);
        EXPECT_EQ(f.IsExact, row.isExact);
    }
}

TEST(TextureStagesGL, BlendOperationsMapToEquations)
{
    struct Row { uint32_t op; uint32_t equation; bool isExact; };
    const Row rows[] = {
        {D3DBLENDOP_ADD, GL_FUNC_ADD, true},
        {D3DBLENDOP_SUBTRACT, GL_FUNC_SUBTRACT, true},
        {D3DBLENDOP_REVSUBTRACT, GL_FUNC_REVERSE_SUBTRACT, true},
        {D3DBLENDOP_MIN, GL_MIN, true},
        {D3DBLENDOP_MAX, GL_MAX, true},
        {0, GL_FUNC_ADD, false},
        {6, GL_FUNC_ADD, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "blend op " << row.op);
        const glstages::BlendEquation e = glstages::MapBlendOp(row.op);
        EXPECT_EQ(e.Equation, row.equation);
        EXPECT_EQ(e.IsExact, row.isExact);
    }
}

TEST(TextureStagesGL, CreationWithoutAContextFailsCleanly)
{
    static std::vector<std::string> messages;
    messages.clear();
    SetTextureStagesLogHook([](const char* message) { messages.emplace_back(message); });
    EXPECT_EQ(CreateOpenGLTextureStages(), nullptr);
    SetTextureStagesLogHook(nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("no OpenGL context"), std::string::npos);
}

} // namespace
