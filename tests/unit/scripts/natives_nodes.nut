// Node natives by name, ID and state table, run by module_scripting_funcs_nodes_test.
check(core_IsNodeExist("hero") && core_IsNodeExist(heroId), "found by name and by ID");
local hero = core_GetNode("hero");
check(hero != null && hero._id == heroId && hero._name == "hero" && hero._parentid == 1001, "the state table with identity");
check(core_IsNodeExist(hero), "found by its table");
check(core_GetNode() == null && core_GetNode("nobody") == null && core_GetNode(1.5) == null, "no node: null");
foreach (native in [core_EnableNode, core_SetNodePosition, core_SetNode, core_DeleteNode, core_FadeSprite])
    check(native("nobody") == false, "a missing node gives false");

// show, hide, enable
check(core_ShowSprite("hero", false) && heroHideCount() == 1, "hidden by name");
check(core_ShowSprite("hero", 1) && heroHideCount() == 0, "shown by an integer");
check(core_ShowSprite(heroId, false) == false, "ShowSprite takes names only");
check(core_EnableNode(hero, false) && !core_IsNodeEnabled("arm"), "a child of a disabled node is not enabled");
check(core_EnableNode(heroId, true) && core_IsNodeEnabled("arm"), "enabled again by ID");
check(!core_IsNodeEnabled("nobody"), "a missing node is not enabled");

// position, state tables
check(core_SetNodePosition("arm", 1, 2.5, 3), "moved");
local arm = core_GetNode("arm");
check(arm._x == 1 && arm._y == 2.5 && arm._z == 3, "the new position");
local rel = core_GetNodeRelativePos("arm", "other");
check(rel._x == 2 && rel._y == 1.5, "relative position from the last update");
local none = core_GetNodeRelativePos("hero", "nobody");
check(none._x == 0 && none._y == 0, "relative position without a node");
arm._x = 7; arm._alpha = 0.5;
check(core_SetNode("hero", arm), "a table applied to another node");
local hero2 = core_GetNode(heroId);
check(hero2._x == 7 && hero2._alpha == 0.5 && hero2._id == heroId, "state copied, identity kept");
check(core_SetNode("hero", 5) == false, "SetNode needs a table");

// text
check(core_SetNodeText("label", "hello"), "text by name");
check(core_GetNodeText("label") == "hello", "text read by name");
check(core_GetNodeText(heroId) == "hello", "text of the first text child");
check(core_GetNodeText("hero") == "", "a name means the node named with \"_text\"");
check(core_SetNodeText(heroId, "again") && core_GetNodeText("label") == "again", "text set through the parent's ID");
check(core_GetNodeText("nobody") == "", "no text node: empty text");

// atlas
check(core_SetNodeAtlas("hero", {_x = 1, _y = 2, _sizex = 4, _sizey = 3}), "atlas cell set");
local cell = core_GetNodeAtlas("hero");
check(cell._x == 1 && cell._y == 2 && cell._sizex == 4 && cell._sizey == 3, "atlas cell read back");
check(core_GetNodeAtlas("label") == null, "a text node has no atlas cell");

// attributes
check(core_SetNodeAttribute("hero", "f", 1.5) && core_SetNodeAttribute("hero", "s", "12ab")
      && core_SetNodeAttribute("hero", "n", 7), "attributes of three types");
check(core_SetNodeAttribute("hero", "bad", [1]) == false, "an array is refused");
check(core_GetNodeAttribute("hero", "f") == 1.5 && core_GetNodeAttribute("hero", "s") == "12ab"
      && core_GetNodeAttribute("hero", "n") == 7, "plain reads keep the type");
check(core_GetNodeAttributeS("hero", "f") == "1.500000", "float as text");
check(core_GetNodeAttributeN("hero", "s") == 12, "leading digits of a text");
check(core_GetNodeAttributeN("hero", "f") == 1 && core_GetNodeAttributeF("hero", "n") == 7.0, "numbers converted");
check(core_GetNodeAttributeS("hero", "n") == "7", "integer as text");
local f0 = core_GetNodeAttributeF("hero", "missing");
check(f0 == 0 && typeof f0 == "integer", "F without attribute or default: integer 0");
check(core_GetNodeAttributeS("hero", "missing") == "", "S without attribute: empty text");
check(core_GetNodeAttributeN("hero", "missing", "dflt") == "dflt", "the default comes back unchanged");
check(core_GetNodeAttribute("hero", "missing") == null, "plain read without default: null");
check(core_GetNodeAttribute("nobody", "n", 3) == 3, "no node: the default");
foreach (v in ["hello", 0, 0.0, "", 0])
  check(core_SetNodeAttribute("hero", "k", v) && core_GetNodeAttribute("hero", "k") == v
        && typeof core_GetNodeAttribute("hero", "k") == typeof v, "a set replaces any kind: " + v);

// names
check(core_SetNodeName("arm", "armour"), "renamed");
check(core_IsNodeExist("armour") && !core_IsNodeExist("arm"), "the node carries the new name's ID");
local names = core_GetNodesNames("her*");
check(names.len() == 1 && names[0] == "hero", "names by mask");
local all = core_GetNodesNames();
local hasPole = false, hasArm = false;
foreach (n in all) { if (n == "pole") hasPole = true; if (n == "arm") hasArm = true; }
check(!hasPole, "the root is never listed");
check(!hasArm, "a name whose node left it is not listed");

// attach
check(core_AttachToNode("hero", "armour") == false, "not under its own child");
check(core_AttachToNode("hero", "hero") == false, "not under itself");
check(core_AttachToNode("pole", "hero") == false, "the root stays where it is");
check(core_AttachToNode("armour", "other"), "moved under another node");
check(core_GetNode("armour")._parentid == otherId, "the new parent");
check(core_AttachToNode("nobody", "other") == false, "a missing node is not attached");

// subnodes
local sub = core_GetNodeSubnode("other", 10001);
check(sub != null && sub._id == 10001, "local ID found under the node");
check(core_GetNodeSubnode("hero", 10001) == null, "not found under another node");

// animator actions
check(core_SetNodeAnimatorAction("hero", "NOSUCH", "go"), "true without such an animator");
check(core_SetNodeAnimatorAction("hero", "COUNT", "go", 4), "an animator by name");
check(core_SetNodeAnimatorAction("nobody", "COUNT", "go") == false, "no node: false");

// click actions
check(core_SetNodeAction("other", "first();") && clickAction("other") == "first();", "a click animator is added");
check(core_SetNodeAction(otherId, "second();") && clickAction("other") == "second();", "its action is replaced");
check(core_SetNodeAction("other") && clickAction("other") == "", "no text: an empty action");
check(core_SetNodeAction("nobody", "x();") == false, "no node: false");
