// Messages, dialogs, sound and text services, run by module_scripting_funcs_services_test.
core_Alert("first");
check(lastBox() == "SqScript alert:\nfirst", "an alert box with its prefix");
check(core_AskYesNo("go on?") == true, "Yes answers true");
check(lastBox() == "SqScript alert:\ngo on?\nYes to continue, No to stop", "the question box");
check(core_IsDialogOpened("menu") == false, "no dialog open");
core_OpenDialog("menu");
check(core_IsDialogOpened("menu") == true, "opened by name");
core_CloseDialog("menu", 250);
check(core_GetDialogRootFolder("menu") == dialogFolder, "the folder of the dialog's description");
check(core_GetTranslation("some_key", "") == core_GetTranslation("some_key"), "an empty file means none");
check(core_Translate == core_GetTranslation || core_Translate("some_key") == core_GetTranslation("some_key"), "two names, one native");
check(core_JustifyText("a b c", 10.0) == "a b c", "without a font the text stays");
check(core_MakeScreenshot("shot") == true, "a screenshot is true even when nothing is written");
core_PlayEffect("click.wav");
core_SetBackgroundMusic("theme.ogg");
