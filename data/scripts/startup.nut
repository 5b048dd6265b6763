// The sample game's start-up script. The engine runs it before the first
// frame, again while it preloads every script of data/, and once more when
// loading is done (game state 500): only definitions run every time.

// Button actions of sprites\button.spr; each receives the clicked node's table.
// Play opens the animated scene over the menu; Esc or its Back button closes it.
function onMenuPlay(item)
{
    print("menu: play pressed on node " + item._id);
    ::sparks <- {live = 0, most = 0, born = 0};
    core_SetGameState(600);
    core_OpenDialog("scene");
    if (!core_IsDialogOpened("scene"))
        return;
    // The line the typer writes comes from the language table; the node is
    // found by the name "scene" + "_text".
    core_SetNodeText("scene", "<font-effect:typer>\n<font-face:main>\n" + core_GetTranslation("SCENE.TEXT"));
    noteInProfile("SampleSceneOpened");
}

function closeScene()
{
    core_CloseDialog("scene", 300);
    core_SetGameState(500);
    noteInProfile("SampleSceneClosed");
}

// The lantern's sparks (sprites\spark.spr) count themselves; the manifest's
// particle group "sparks" caps how many live at once.
::sparks <- {live = 0, most = 0, born = 0};

function sparkBorn()
{
    sparks.born++;
    sparks.live++;
    if (sparks.live > sparks.most)
        sparks.most = sparks.live;
}

function sparkGone()
{
    sparks.live--;
}

// The scene's nodes that exist, so a check from outside can see it was built.
function noteSceneNodes()
{
    local names = "";
    foreach (name in ["scene_sky", "scene_lantern", "scene_star", "scene_text", "scene_back"])
        if (core_IsNodeExist(name))
            names += (names != "" ? "," : "") + name;
    core_SetProfileOption("SampleSceneNodes", names);
    // The typer's line as the text node holds it, when it is the language table's.
    local line = core_GetTranslation("SCENE.TEXT");
    core_SetProfileOption("SampleSceneLine", core_GetNodeText("scene").find(line) != null ? line : "");
    core_SetProfileOption("SampleSparksMost", sparks.most);
    core_SetProfileOption("SampleSparksBorn", sparks.born);
    core_SaveProfile();
}

// Unattended runs: press Play, let the scene run, note it, and go back.
function autoPlay()
{
    local stay = core_GetIniParameter("SampleSceneMs");
    stay = stay != "" ? stay.tointeger() : 500;
    onMenuPlay({_id = 0});
    core_SetTimeout(stay - 100, "noteSceneNodes()");
    core_SetTimeout(stay, "closeScene()");
    // A screenshot of the scene shortly before it closes, when asked for.
    if (core_GetIniParameter("SampleSceneScreenshot") != "")
        core_SetTimeout(stay - 200, "takeSceneScreenshot()");
}

function takeSceneScreenshot()
{
    core_MakeScreenshot(core_GetIniParameter("SampleSceneScreenshot"));
    print("scene: screenshot taken");
}

function onMenuQuit(item)
{
    quitGame();
}

// What the player did, counted in the profile so a check from outside can follow it.
function noteInProfile(key)
{
    core_SetProfileOption(key, core_GetProfileOptionN(key, 0) + 1);
    core_SaveProfile();
}

// The button under the pointer, or "none".
function noteHover(name)
{
    core_SetProfileOption("SampleHovered", name);
    core_SaveProfile();
}

function onMenuAbout(item)
{
    core_OpenDialog("about");
    if (core_IsDialogOpened("about"))
        noteInProfile("SampleAboutOpened");
}

// The dialog's close button and its Esc key.
function closeAbout()
{
    core_CloseDialog("about", 300);
    noteInProfile("SampleAboutClosed");
}

// The music switch changes the player's music volume, which the profile keeps.
function onMenuMusic(item)
{
    core_SetSoundVolume(0, core_GetSoundVolume(0) > 0.0 ? 0.0 : 0.6);
    noteInProfile("SampleMusicSwitched");
}

function quitGame()
{
    print("menu: quit");
    core_CloseGame();
}

// The main menu is in play: count the runs in the profile, so a restart shows
// that the profile kept them.
function enterMenu()
{
    local runs = core_GetProfileOptionN("SampleRuns", 0) + 1;
    core_SetProfileOption("SampleRuns", runs);
    core_SetProfileOption("SampleMusicAtStart", (core_GetSoundVolume(0) * 100 + 0.5).tointeger());
    core_SetProfileOption("SampleLastState", core_GetGameState());
    // The menu's nodes that exist, so a check from outside can see the menu was built.
    local found = [];
    foreach (name in ["menu_background", "menu_title_text", "play_button", "about_button", "music_button", "quit_button"])
        if (core_IsNodeExist(name))
            found.append(name);
    local names = "";
    foreach (i, name in found)
        names += (i > 0 ? "," : "") + name;
    core_SetProfileOption("SampleMenuNodes", names);
    // The title's and the labels' shown lines, as their text nodes hold them.
    core_SetProfileOption("SampleMenuTitle", shownLine(core_GetNodeText("menu_title")));
    local labels = "";
    foreach (i, b in menuButtons)
        labels += (i > 0 ? "|" : "") + shownLine(core_GetNodeText(b[0]));
    core_SetProfileOption("SampleMenuLabels", labels);
    core_SaveProfile();
    print("menu: run " + runs + " in game state " + core_GetGameState());

    // A screenshot of the menu once it is drawn, when asked for on the command line.
    if (core_GetIniParameter("SampleScreenshot") != "")
        core_SetTimeout(300, "takeScreenshot()");
    local playAfter = core_GetIniParameter("SamplePlayAfterMs");
    if (playAfter != "")
        core_SetTimeout(playAfter.tointeger(), "autoPlay()");
    // Unattended runs (run.sh without a display, the tests) ask to end after a while.
    local quitAfter = core_GetIniParameter("SampleQuitAfterMs");
    if (quitAfter != "")
        core_SetTimeout(quitAfter.tointeger(), "quitGame()");
}

::menuButtons <- [["play_button", 4, "MENU.PLAY", "onMenuPlay"],
                  ["about_button", 0, "MENU.ABOUT", "onMenuAbout"],
                  ["music_button", -4, "MENU.MUSIC", "onMenuMusic"],
                  ["quit_button", -8, "MENU.QUIT", "onMenuQuit"]];

// A node's text without its leading markup line.
function shownLine(text)
{
    local at = text.find("\n");
    return at != null ? text.slice(at + 1) : text;
}

// The main menu: background, title and one button per entry. The button's
// parameters fill its description's ${...} places; the texts come from the
// language table.
function buildMenu()
{
    core_CreateSprite("sprites\\background.spr", {});
    // The title in capitals, through the transliterator text\capitals.xml.
    ::menuTitle <- core_StrTransform(core_GetTranslation("GAME.TITLE"), "text\\capitals.xml");
    // Set on the node like the labels' texts, so every character survives.
    core_CreateSprite("sprites\\title.spr", {});
    core_SetNodeText("menu_title", "<font-face:main>\n" + menuTitle);
    foreach (b in menuButtons) {
        core_CreateSprite("sprites\\button.spr?X=0&Y=" + b[1] + "&Name=" + b[0] + "&Action=" + b[3], {});
        // The label is named after its button and its text set on the node: a
        // sprite parameter would be cut at a translation's "&" or "=".
        core_CreateSprite("sprites\\label.spr?X=0&Y=" + b[1], {name = b[0] + "_text"});
        core_SetNodeText(b[0], "<font-face:main>\n" + core_GetTranslation(b[2]));
    }
}

function takeScreenshot()
{
    core_MakeScreenshot(core_GetIniParameter("SampleScreenshot"));
    print("menu: screenshot taken");
}

// Polled until the engine has loaded the data and entered play.
function waitForPlay()
{
    if (core_GetGameState() < 500)
        return;
    core_CancelInterval();
    core_SetBackgroundMusic(core_GetIniParameter("SampleMenuMusic"));
    buildMenu();
    enterMenu();
}

if (!("sampleStarted" in getroottable())) {
    ::sampleStarted <- true;
    print("startup: Lantern Sample " + core_GetIniParameter("Version"));
    core_SetInterval(20, "waitForPlay()");
}
