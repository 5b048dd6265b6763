// Node creation, screen positions and the cursor, run by module_scripting_funcs_nodes_test.
local desc = "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h4\n";
check(core_CreateSprite(desc, "pole") == null, "without retSprite nothing comes back");
check(poleChildren() == 1, "the sprite was made under the parent");

local plain = core_CreateSprite(desc, {retSprite = 1});
check(plain != null && plain._parentid == 1001 && plain._x == 0 && plain._y == 0, "no parent: under the root at the origin");
local zero = core_CreateSprite(desc, {w = 0, h = 0, retSprite = 1}, "pole");
check(zero._w == plain._w && zero._h == plain._h, "w and h both 0 keep the scale");
local tall = core_CreateSprite(desc, "pole", {w = 1, h = 2, retSprite = 1});
check(tall._h == plain._h * 2, "the scale from the table");
local flat = core_CreateSprite(desc, "pole", {w = 0, h = 0, retSprite = 1});
check(flat._w == 1 && flat._h == 1, "after a parent name the zero scale is taken: each zero side is stored as 1");
local named = core_CreateSprite(desc, {x = 1, y = 2, r = 0.5, name = "made", retSprite = 1}, 1001);
check(named._name == "made" && named._x == 1 && named._y == 2 && named._rotation == 0.5, "options of the table form");
check(core_IsNodeExist("made"), "found by its new name");
check(named._id >= 1003 && named._id <= 2000, "a name gives an ID of the named range");
local masked = core_GetNodesNames("ma*");
check(masked.len() == 1 && masked[0] == "made", "the new name is listed by a mask");
local under = core_CreateSprite(desc, {x = 5, y = 5, underCursor = 1, retSprite = 1}, "pole");
check(fabs(under._x) < 0.001 && fabs(under._y) < 0.001, "under the cursor at the screen centre");
check(core_CreateSprite("raw://\n-IgnoreSprite: 1\n", {retSprite = 1}) == null, "no node: null");

local node = core_CreateNode(desc, "made", {id = 1700, alpha = 0.5, fade = 0, rotation = 0.25});
check(node._id == 1700 && node._parentid == named._id, "id and parent");
check(node._alpha == 0.5 && node._fade == 0 && node._rotation == 0.25, "alpha, fade and rotation");
local kept = core_CreateNode(desc, null, {fade = -1, name = "kept"});
check(kept._fade == 1 && kept._name == "kept", "fade -1 keeps the description's fade");

local centre = core_GetNodeOnScreenPosition("pole", false);
check(fabs(centre._x - 0.5) < 0.001 && fabs(centre._y - 0.5) < 0.001, "the origin lies at the screen centre");
local px = core_GetNodeOnScreenPosition(null, true);
check(px._x == screenW / 2 && px._y == screenH / 2 && typeof px._x == "integer", "in pixels without a node: the root");

local cursor = core_GetCurrentCursorPosition(null, true);
check(cursor._x == screenW / 2 && cursor._y == screenH / 2, "cursor in pixels");
local inNode = core_GetCurrentCursorPosition("made", true);
check(fabs(inNode._x + 1) < 0.001 && fabs(inNode._y + 2) < 0.001, "cursor in the node's own frame");
check(core_GetLastClickPosition(null, true) == null, "no node: no click position");
check(core_GetIsLeftButtonDown() == false, "the button is up");

core_SetCurrentCursorClipArea({_left = 0, _top = 0, _right = 0.5, _bottom = 0.5}, false);
check(clipArea() == "0,0," + (screenW / 2) + "," + (screenH / 2), "relative clip in pixels of the profile");
core_SetCurrentCursorClipArea("bad", false);
check(clipArea() == "0,0," + (screenW / 2) + "," + (screenH / 2), "another type changes nothing");
core_SetCurrentCursorClipArea(null, false);
check(clipArea() == "0,0,0,0", "null releases the clip");
