// The sample game's start-up script. The engine runs it before the first
// frame, again while it preloads every script of data/, and once more when
// loading is done (game state 500): only definitions run every time.

// Button actions of sprites\button.spr; each receives the clicked node's table.
function onMenuPlay(item)
{
    print("menu: play pressed on node " + item._id);
    core_SetGameState(600);
}

function onMenuQuit(item)
{
    quitGame();
}

function onMenuAbout(item)
{
    core_OpenDialog("about");
}

function closeAbout()
{
    print("about: closed");
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
    core_SetProfileOption("SampleLastState", core_GetGameState());
    // The menu's nodes that exist, so a check from outside can see the menu was built.
    local found = [];
    foreach (name in ["menu_background", "menu_title", "play_button", "about_button", "quit_button"])
        if (core_IsNodeExist(name))
            found.append(name);
    local names = "";
    foreach (i, name in found)
        names += (i > 0 ? "," : "") + name;
    core_SetProfileOption("SampleMenuNodes", names);
    core_SaveProfile();
    print("menu: run " + runs + " in game state " + core_GetGameState());

    // A screenshot of the menu once it is drawn, when asked for on the command line.
    if (core_GetIniParameter("SampleScreenshot") != "")
        core_SetTimeout(300, "takeScreenshot()");
    // Unattended runs (run.sh without a display, the tests) ask to end after a while.
    local quitAfter = core_GetIniParameter("SampleQuitAfterMs");
    if (quitAfter != "")
        core_SetTimeout(quitAfter.tointeger(), "quitGame()");
}

// The main menu: background, title and one button per entry. The button's
// parameters fill its description's ${...} places; the texts come from the
// language table.
function buildMenu()
{
    core_CreateSprite("sprites\\background.spr", {});
    core_CreateSprite("sprites\\title.spr?Title=" + core_GetTranslation("GAME.TITLE"), {});
    local buttons = [["play_button", 4, "MENU.PLAY", "onMenuPlay"],
                     ["about_button", 0, "MENU.ABOUT", "onMenuAbout"],
                     ["quit_button", -4, "MENU.QUIT", "onMenuQuit"]];
    foreach (b in buttons) {
        core_CreateSprite("sprites\\button.spr?X=0&Y=" + b[1] + "&Name=" + b[0] + "&Action=" + b[3], {});
        core_CreateSprite("sprites\\label.spr?X=0&Y=" + b[1] + "&Text=" + core_GetTranslation(b[2]), {});
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
