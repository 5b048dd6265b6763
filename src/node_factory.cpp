// The node factory: defaults and the one-pass description parse.
#include "node_factory.h"

#include "abaseanimators.h"
#include "node_base.h"
#include "node_factory_macros.h"
#include "node_helpers_desc.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_attribs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <cstring>

using namespace irr;

namespace {

constexpr f32 DegToRad = 3.14159265358979f / 180.0f;
constexpr const char* PartMarker = "\n[Sprite]";
constexpr int PartSearchStart = 5;
constexpr const char* EmptyTexture = "\\gui\\empty.png";

// The key's value when it is present and not empty.
bool keyValue(const CString& text, const char* key, CString& value)
{
    return getKeyValue(text, key, value) > 0;
}

bool contains(const CString& text, const char* part) { return text.Find(part) >= 0; }

CString bracket(const CString& value, const char* name)
{
    CString sub;
    readBracketValue(value, name, sub);
    return sub;
}

int bracketInt(const CString& value, const char* name) { return StrToInt(bracket(value, name)); }

// A whole value starts after the blank that follows the colon; the number readers do not skip it.
const char* skipBlanks(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

int wholeInt(const CString& value) { return readIntComponent(skipBlanks(value), 0, 0); }
uint32_t wholeUInt(const CString& value) { return readUIntComponent(skipBlanks(value), 0, 0); }

// Reads an S key into the field when present.
void readString(const CString& text, const char* key, CString& field)
{
    CString value;
    if (keyValue(text, key, value))
        field = readStringValue(value, 0);
}

void readInt(const CString& text, const char* key, int& field)
{
    CString value;
    if (keyValue(text, key, value))
        field = wholeInt(value);
}

void readUInt(const CString& text, const char* key, uint32_t& field)
{
    CString value;
    if (keyValue(text, key, value))
        field = wholeUInt(value);
}

void readPair(const CString& text, const char* key, char a, char b, f32* field)
{
    CString value;
    if (!keyValue(text, key, value))
        return;
    field[0] = readFloatComponent(value, a, 0);
    field[1] = readFloatComponent(value, b, 0);
}

// "-Custom.Attributes:" occurrences from the given one on.
const char* nextAttributesKey(const char* from) { return std::strstr(from, "-Custom.Attributes:"); }

} // namespace

// --- construction ---

CNodeFactory::CNodeFactory() = default;

CNodeFactory::~CNodeFactory()
{
    delete customAttribs;
}

void CNodeFactory::reset(const char* sourceName)
{
    texturePath = ResolveDataPath(sourceName ? sourceName : "");
    descriptionName = sourceName ? sourceName : "";
    parts.clear();
    name.Empty(); localId = 0; parentName.Empty(); text.Empty(); label.Empty(); labelFormat.Empty();
    position = core::vector3df(0, 0, 0); zOrder = 0; anchorName.Empty();
    size[0] = size[1] = 1; sizeFlags = 0;
    sizeFromParent[0] = sizeFromParent[1] = 0; align[0] = align[1] = 0;
    alignInParent[0] = alignInParent[1] = 0; rotation = AngleNotSet; mapY2Z = 0;
    textureTile[0] = textureTile[1] = 0;
    atlasX = atlasY = atlasR = atlasB = atlasW = atlasH = 0;
    materialType = -1; materialTypeName.Empty(); textureFiltering = 3; renderOrder = 4; tint = 0;
    alpha = 1; alphaTime = alphaDelay = 0; alphaMinVisible = -1; fade = 1; fadeTime = fadeDelay = 0;
    invisible = 0; visible = 1;
    asMutable = asEffect = asStatic = ignoreSprite = 0; asParticle.Empty(); makeClones = 0;
    selfDestructTime = selfDestructFade = 0; hideParent = 0; hideIf.Empty();
    soundOnCreate.Empty(); sound.Empty(); soundOnDestroy.Empty();
    actionOnCreate.Empty(); actionOnInit.Empty(); actionOnDestroy.Empty(); extendedCalls = 0;
    clickImage.Empty(); clickAction.Empty(); rightClickAction.Empty(); dragBeginAction.Empty();
    clickSound.Empty(); autodisableAction.Empty(); autodisableImage.Empty();
    clickThrough = clickBlock = clickSpeed = pixelPerfect = hotkey = 0;
    overImage.Empty(); overSound.Empty(); mouseInAction.Empty(); mouseOutAction.Empty();
    tooltip.Empty(); tooltipFormat.Empty(); tooltipScript.Empty(); tooltipDelay = 0;
    hasAnimations = 0;
    timeline.Empty(); groupSet.Empty(); groupClear.Empty(); flashMovie.Empty(); slider.Empty();
    scriptMethod.Empty(); scriptMethodArg.Empty(); animationOnCreate.Empty(); animationOnDestroy.Empty();
    textureAnimTime = 0; textureAnimMode.Empty();
    moveMode = moveTime = moveRepeat = 0; moveTarget = core::vector3df(0, 0, 0);
    textureScroll[0] = textureScroll[1] = 0;
    pulsarTime = 0; pulsarA = pulsarL = 0; pulsarP = 1; pulsarF = 0; pulsarR = 0;
    generatorTime = generatorR = 0; generatorTextures.clear();
    rotationAnimS = rotationAnimT = 0; rotationAnimF = AngleNotSet; sizeAnimS = sizeAnimT = 0;
    baseTimer = 0; textEditorAt.Empty(); textEditorD.Empty(); textEditorS = 0;
    delete customAttribs;
    customAttribs = nullptr;
    textureless = false;
    initialized = 1;
}

// --- the parse ---

void CNodeFactory::parseSpriteDescription(const char* source, const CStringArray* params,
                                          const SSpriteCreateInfo* info)
{
    ENGINE_PROFILE("ADDSPR-PARSE");
    if (!initialized) {
        FatalError("Parser is not initialized!", false);
        return;
    }
    CString desc(source ? source : "");
    expandSpriteMacros(texturePath, params, info);
    expandSpriteMacros(desc, params, info, DescribeSprite(descriptionName, nullptr));
    splitParts(desc, info);
    readMainKeys(desc, params, info);
    if (contains(desc, "-Animation.")) {
        hasAnimations = 1;
        readAnimationKeys(desc, info);
    }
    readCompactEventKeys(desc, info);
    if (contains(desc, "-Event."))
        readLongEventKeys(desc, info);
    readInt(desc, "-MakeClones:", makeClones);
    CString value;
    if (keyValue(desc, "-Selfdestruction:", value)) {
        selfDestructTime = readIntComponent(value, 't', 0);
        selfDestructFade = readIntComponent(value, 'f', 0);
        if (selfDestructTime == 0)
            selfDestructTime = wholeInt(value);
    }
    if (contains(desc, "-Custom.Attributes:")) {
        if (!customAttribs)
            customAttribs = new CCustomAttribs;
        parseCustomAttributes(desc, *customAttribs);
    }
    parseCustomKeys(desc, params, info);
}

void CNodeFactory::splitParts(CString& desc, const SSpriteCreateInfo* info)
{
    const int first = desc.Find(PartMarker, PartSearchStart);
    if (first < 0)
        return;
    const int markerLength = int(std::strlen(PartMarker));
    desc += PartMarker;
    int counter = 1;
    for (int at = first; at >= 0;) {
        const int start = at + markerLength;
        const int next = desc.Find(PartMarker, start);
        if (next < 0)
            break;
        CString part = desc.Mid(start, next - start);
        part.TrimLeft();
        at = next;
        if (part.IsEmpty())
            continue;
        ++counter;
        SSpriteCreateInfo record(info);
        record.isPart = 1;
        record.partIndex = uint32_t(counter);
        record.partName = Format("!spr.part(%i):", counter) + texturePath;
        // The marker takes the part's last line break; without one the last key would read as absent.
        record.replaceText = part + "\n";
        record.ownerPath = texturePath;
        parts.push_back(record);
    }
    desc = desc.Left(first + 1);
}

CString CNodeFactory::resolve(const char* path, const SSpriteCreateInfo* info) const
{
    const char* owner = info && !info->ownerPath.IsEmpty() ? (const char*)info->ownerPath : nullptr;
    // An inline text has no folder of its own: its names lie in the data folder.
    if (owner && StartsWith(owner, "raw://"))
        owner = "";
    const char* base = StartsWith(texturePath, "raw://") ? "" : (const char*)texturePath;
    return resolveTexturePath(path, base, owner);
}

void CNodeFactory::readMainKeys(const CString& desc, const CStringArray* params, const SSpriteCreateInfo* info)
{
    // The texture is the untrimmed rest of its line.
    CString texture = desc.Find("-Texture:") >= 0 ? GetTextBetween("-Texture:", "\n", desc) : CString();
    if (texture.IsEmpty()) {
        texturePath = EmptyTexture;
        invisible = 1;
        textureless = true;
    } else {
        texturePath = resolve(texture, info);
    }
    readString(desc, "-Name:", name);
    readUInt(desc, "-LocalID:", localId);
    CString value;
    if (keyValue(desc, "-Atlas:", value)) {
        atlasX = readFloatComponent(value, 'x', 0);
        atlasY = readFloatComponent(value, 'y', 0);
        atlasW = readFloatComponent(value, 'w', 0);
        atlasH = readFloatComponent(value, 'h', 0);
        atlasR = readFloatComponent(value, 'r', 0);
        atlasB = readFloatComponent(value, 'b', 0);
    }
    if (keyValue(desc, "-MaterialType:", value)) {
        const int number = wholeInt(value);
        if (number != 0) {
            materialType = number;
            textureFiltering = 0;
        } else {
            materialType = 0;
            materialTypeName = readStringValue(value, 0);
        }
    }
    readInt(desc, "-TextureFiltering:", textureFiltering);
    if (keyValue(desc, "-RenderOrder:", value)) {
        const int order = wholeInt(value);
        if (order == 0)
            renderOrder = 4;
        else if (order == 1)
            renderOrder = 6;
    }
    readInt(desc, "-MapY2Z:", mapY2Z);
    readGeometryKeys(desc);
    readAlphaKeys(desc);
    // Build parameters come between the alpha keys and the visibility keys.
    applyBuildParams(params, info);
    readSwitchKeys(desc);
}

void CNodeFactory::readGeometryKeys(const CString& desc)
{
    CString value;
    if (keyValue(desc, "-Position:", value)) {
        position.X = readFloatComponent(value, 'x', position.X);
        position.Y = readFloatComponent(value, 'y', position.Y);
        position.Z = readFloatComponent(value, 'z', position.Z);
        zOrder = readIntComponent(value, 's', zOrder);
        anchorName = readStringValue(value, '@', anchorName);
    }
    if (keyValue(desc, "-Size:", value)) {
        if (!contains(value, "w") && !contains(value, "h")) {
            size[0] = size[1] = readFloatComponentEx(value, 0, 0, true);
        } else {
            size[0] = readFloatComponent(value, 'w', 0);
            size[1] = readFloatComponent(value, 'h', 0);
        }
        if (size[0] == 0 && size[1] != 0) {
            sizeFlags |= 1;
            size[0] = size[1];
        } else if (size[1] == 0 && size[0] != 0) {
            sizeFlags |= 2;
            size[1] = size[0];
        }
        if (readUIntComponent(value, 'a', 0) != 0)
            sizeFlags |= 8;
    }
    if (contains(desc, "-SizeFromTexture"))
        sizeFlags |= 4;
    readPair(desc, "-SizeFromParent:", 'w', 'h', sizeFromParent);
    readPair(desc, "-Align:", 'x', 'y', align);
    readPair(desc, "-AlignInParent:", 'x', 'y', alignInParent);
    readPair(desc, "-Texture.Tile:", 'x', 'y', textureTile);
    if (keyValue(desc, "-Rotation:", value))
        rotation = readFloatComponent(value, 0, 0) * DegToRad;
}

void CNodeFactory::readAlphaKeys(const CString& desc)
{
    CString value;
    if (keyValue(desc, "-Fade:", value)) {
        fade = readFloatComponent(value, 0, 1.0f);
        fadeTime = readIntComponent(value, 't', 0);
        fadeDelay = readIntComponent(value, 'd', 0);
    }
    if (keyValue(desc, "-Alpha:", value)) {
        alpha = readFloatComponent(value, 0, 1.0f);
        alphaTime = readIntComponent(value, 't', 0);
        alphaDelay = readIntComponent(value, 'd', 0);
    }
    if (keyValue(desc, "-AlphaMinVisible:", value))
        alphaMinVisible = readFloatComponent(value, 0, -1.0f);
}

void CNodeFactory::readSwitchKeys(const CString& desc)
{
    readInt(desc, "-Invisible:", invisible);
    readInt(desc, "-Visible:", visible);
    CString value;
    if (keyValue(desc, "-Tint:", value))
        tint = uint32_t(ParseIntAnyBase(readStringValue(value, 0), false));
    readString(desc, "-Parent:", parentName);
    readString(desc, "-Text:", text);
    if (keyValue(desc, "-Label:", value)) {
        label = readStringValue(value, 0);
        readString(desc, "-Label.Format:", labelFormat);
    }
    readUInt(desc, "-AsMutable:", asMutable);
    readString(desc, "-AsParticle:", asParticle);
    readUInt(desc, "-AsEffect:", asEffect);
    if (asEffect && textureless)
        invisible = 0;
    readUInt(desc, "-AsStatic:", asStatic);
    readUInt(desc, "-IgnoreSprite:", ignoreSprite);
}

void CNodeFactory::applyBuildParams(const CStringArray* params, const SSpriteCreateInfo* info)
{
    if (!params || (info && info->isPart))
        return;
    bool width = false, height = false;
    for (int i = 0; i < params->GetSize(); ++i) {
        const CString& param = params->GetAt(i);
        if (param.GetLength() <= 2 || param[1] != '[')
            continue;
        const char* number = (const char*)param + 2;
        switch (param[0]) {
        case 'x': position.X = ParseLength(number); break;
        case 'y': position.Y = ParseLength(number); break;
        case 'z': position.Z = ParseLength(number); break;
        case 's': zOrder = StrToInt(number); break;
        case 'a': alpha = StrToFloat(number); alphaTime = 0; break;
        case 'r':
            // An unset rotation counts as 0, not as the not-set mark.
            if (rotation == AngleNotSet)
                rotation = 0;
            rotation += StrToFloat(number) * DegToRad;
            break;
        case 'w': size[0] *= ParseLength(number); width = true; break;
        case 'h': size[1] *= ParseLength(number); height = true; break;
        default: break;
        }
    }
    if (width && !height)
        sizeFlags |= 2;
    else if (height && !width)
        sizeFlags |= 1;
}

void CNodeFactory::readAnimationKeys(const CString& desc, const SSpriteCreateInfo* info)
{
    CString value;
    if (keyValue(desc, "-Animation.Timeline:", value)) {
        value.ReplaceChars("\t\n", ' ');
        timeline = value;
    }
    readString(desc, "-Animation.GroupSet:", groupSet);
    readString(desc, "-Animation.GroupClear:", groupClear);
    if (keyValue(desc, "-Animation.SimpleTextEditor:", value)) {
        textEditorAt = readStringValue(value, '@');
        textEditorD = readStringValue(value, 'd').SpanExcluding(" ");
        textEditorS = readIntComponent(value, 's', 0);
    }
    if (keyValue(desc, "-Animation.Texture:", value)) {
        textureAnimTime = readIntComponent(value, 't', 0);
        textureAnimMode = readStringValue(value, 'm');
    }
    if (keyValue(desc, "-Animation.Flash:", value))
        flashMovie = value;
    if (keyValue(desc, "-Animation.Move:", value)) {
        moveMode = readIntComponent(value, 'd', 0);
        moveRepeat = readIntComponent(value, 'l', 0);
        moveTarget.X = readFloatComponent(value, 'x', 0);
        moveTarget.Y = readFloatComponent(value, 'y', 0);
        moveTarget.Z = readFloatComponent(value, 'z', 0);
        moveTime = readIntComponent(value, 't', 0);
    }
    readPair(desc, "-Animation.TextureScroller:", 'x', 'y', textureScroll);
    if (keyValue(desc, "-Animation.AlphaPulsar:", value)) {
        pulsarTime = readIntComponent(value, 't', 0);
        pulsarA = readFloatComponent(value, 'a', 0);
        pulsarL = readFloatComponent(value, 'l', 0);
        pulsarP = readFloatComponent(value, 'p', pulsarP);
        pulsarF = readIntComponent(value, 'f', 0);
        pulsarR = readFloatComponent(value, 'r', 0);
    }
    if (keyValue(desc, "-Animation.ByScriptMethod:", value)) {
        scriptMethod = readStringValue(value, 0).SpanExcluding(",");
        scriptMethodArg = readStringValue(value, ',');
    }
    if (keyValue(desc, "-Animation.Scripted:", value)) {
        scriptMethod = readStringValue(value, 0);
        scriptMethodArg.Empty();
    }
    readString(desc, "-Animation.Slider:", slider);
    if (keyValue(desc, "-Animation.Generator:", value)) {
        generatorTime = readIntComponent(value, 't', 0);
        generatorR = readIntComponent(value, 'r', 0);
        generatorInside = readIntComponent(value, 'c', 1);
        generatorFollow = readIntComponent(value, 'o', 0);
        generatorAngle = readFloatComponent(value, 'a', 0);
        generatorTextures.clear();
        core::array<core::stringc> names = SplitString(readStringValue(value, '@'), ',', false);
        for (u32 i = 0; i < names.size(); ++i)
            generatorTextures.push_back(core::stringc((const char*)resolve(names[i].c_str(), info)));
    }
    if (keyValue(desc, "-Animation.Rotation:", value)) {
        rotationAnimS = readFloatComponent(value, 's', 0);
        rotationAnimT = readFloatComponent(value, 't', 0);
        rotationAnimF = readFloatComponent(value, 'f', rotationAnimF);
    }
    if (keyValue(desc, "-Animation.Size:", value)) {
        sizeAnimS = readFloatComponent(value, 's', 0);
        sizeAnimT = readFloatComponent(value, 't', 0);
    }
    if (keyValue(desc, "-Animation.OnCreate:", value))
        animationOnCreate = value;
    if (keyValue(desc, "-Animation.OnDestroy:", value))
        animationOnDestroy = value;
    readInt(desc, "-Animation.BaseTimer:", baseTimer);
    readInt(desc, "-Animation.HideParent:", hideParent);
    readString(desc, "-Animation.HideIf:", hideIf);
}

void CNodeFactory::readCompactEventKeys(const CString& desc, const SSpriteCreateInfo* info)
{
    CString value;
    if (keyValue(desc, "-Events:", value)) {
        soundOnCreate = bracket(value, "soundOnCreate");
        sound = bracket(value, "sound");
        soundOnDestroy = bracket(value, "soundOnDelete");
        animationOnCreate = bracket(value, "animationOnCreate");
        animationOnDestroy = bracket(value, "animationOnDelete");
        actionOnCreate = bracket(value, "actionOnCreate");
        actionOnInit = bracket(value, "actionOnInit");
        actionOnDestroy = bracket(value, "actionOnDelete");
    }
    if (keyValue(desc, "-Events.OnClick:", value)) {
        clickImage = bracket(value, "image");
        if (!clickImage.IsEmpty())
            clickImage = resolve(clickImage, info);
        clickThrough = bracketInt(value, "clickThrough");
        clickAction = bracket(value, "action");
        rightClickAction = bracket(value, "actionRightClick");
        dragBeginAction = bracket(value, "actionDragBegin");
        clickSpeed = bracketInt(value, "speed");
        pixelPerfect = bracketInt(value, "pixelPerfect");
        hotkey = bracketInt(value, "hotkey");
        clickSound = bracket(value, "sound");
        autodisableAction = bracket(value, "autodisableAction");
        autodisableImage = bracket(value, "autodisableImage");
        if (!autodisableImage.IsEmpty())
            autodisableImage = resolve(autodisableImage, info);
        clickBlock = bracketInt(value, "block");
    }
    if (keyValue(desc, "-Events.OnMouseMove:", value)) {
        overImage = bracket(value, "image");
        if (!overImage.IsEmpty())
            overImage = resolve(overImage, info);
        overSound = bracket(value, "sound");
        mouseInAction = bracket(value, "actionMouseIn");
        mouseOutAction = bracket(value, "actionMouseOut");
        tooltip = bracket(value, "tooltip");
        tooltipScript = bracket(value, "actionTooltip");
        tooltipDelay = bracketInt(value, "tooltipDelay");
        if (!tooltipScript.IsEmpty() && tooltip.IsEmpty())
            tooltip = "?...";
    }
}

void CNodeFactory::readLongEventKeys(const CString& desc, const SSpriteCreateInfo* info)
{
    readString(desc, "-Event.OnCreate.Sound:", soundOnCreate);
    readString(desc, "-Event.OnCreate.Action:", actionOnCreate);
    readString(desc, "-Event.Init:", actionOnInit);
    readString(desc, "-Event.OnDestroy.Sound:", soundOnDestroy);
    readString(desc, "-Event.OnDestroy.Action:", actionOnDestroy);
    readUInt(desc, "-Event.Action.ExtendedCalls:", extendedCalls);
    CString value;
    if (contains(desc, "-Event.Mouse.")) {
        if (keyValue(desc, "-Event.Mouse.Click.Image:", value))
            clickImage = resolve(readStringValue(value, 0), info);
        if (keyValue(desc, "-Event.Mouse.Click.Action.AllowDeep:", value))
            clickThrough = int(wholeUInt(value));
        readString(desc, "-Event.Mouse.Click.Action:", clickAction);
        if (keyValue(desc, "-Event.Mouse.Click.Speed:", value))
            clickSpeed = int(wholeUInt(value));
        readInt(desc, "-Event.Mouse.Click.PixelPerfect:", pixelPerfect);
        if (keyValue(desc, "-Event.Mouse.Click.KeyShortcut:", value))
            hotkey = int(wholeUInt(value));
        readString(desc, "-Event.Mouse.Click.Sound:", clickSound);
        readString(desc, "-Event.Mouse.Click.AutodisableIf.Action:", autodisableAction);
        if (keyValue(desc, "-Event.Mouse.Click.AutodisableIf.Image:", value))
            autodisableImage = resolve(readStringValue(value, 0), info);
        if (keyValue(desc, "-Event.Mouse.Click.Block:", value))
            clickBlock = int(wholeUInt(value));
    }
    readString(desc, "-Event.Mouse.Drag.Action:", dragBeginAction);
    readString(desc, "-Event.Mouse.RClick.Action:", rightClickAction);
    if (keyValue(desc, "-Event.Mouse.Over.Image:", value))
        overImage = resolve(readStringValue(value, 0), info);
    readString(desc, "-Event.Mouse.Over.Sound:", overSound);
    readString(desc, "-Event.Mouse.Over.In.Script:", mouseInAction);
    readString(desc, "-Event.Mouse.Over.Out.Script:", mouseOutAction);
    if (keyValue(desc, "-Event.Mouse.Over.Tooltip:", value)) {
        tooltip = readStringValue(value, 0);
        readString(desc, "-Event.Mouse.Over.Tooltip.Format:", tooltipFormat);
        readString(desc, "-Event.Mouse.Over.Tooltip.ByScript:", tooltipScript);
    }
}

// --- free helpers ---

bool parseCustomAttributes(const char* text, CCustomAttribs& attribs)
{
    if (!text)
        return false;
    bool found = false;
    for (const char* at = nextAttributesKey(text); at; at = nextAttributesKey(at + 1)) {
        CString value;
        if (getKeyValue(at, "-Custom.Attributes:", value) <= 0)
            continue;
        found = true;
        // Option lines end at a line break, the last one included.
        if (value.Find("]=") >= 0)
            attribs.fromText("\n" + value + "\n", true);
        else
            attribs.parseDescription(value, true);
    }
    return found;
}

CString DescribeSprite(const char* descriptionName, const char* spriteName)
{
    CString file = descriptionName ? descriptionName : "";
    if (StartsWith(file, "raw://"))
        return spriteName && *spriteName ? Format("the inline sprite '%s'", spriteName) : CString("an inline sprite");
    if (StartsWith(file, "!spr.part(") && file.Find("):") >= 0)
        file = file.Mid(file.Find("):") + 2);
    if (file.Find('?') >= 0)   // the parameters of one use; the file is the same for all
        file = file.Left(file.Find('?'));
    if (spriteName && *spriteName)
        return Format("the sprite '%s' of '%s'", spriteName, (const char*)file);
    return Format("the sprite of '%s'", (const char*)file);
}

CBaseAnimator* attachParsedAnimator(const CNodeFactory* factory, CNodeBasement* node, CBaseAnimator* animator)
{
    CBaseAnimator* attached = attachAnimator(node, animator);
    if (attached && factory && factory->hasAnimations && !factory->groupSet.IsEmpty())
        attached->setName(factory->groupSet);
    return attached;
}
