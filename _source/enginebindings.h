// The game's client: what the engine asks of the game every frame and at
// the fixed points of the program's life.
#pragma once

#include "module_enginebase.h"

class CGameClient : public CEngineClient {
public:
    CGameClient();
    ~CGameClient() override;

    CProfileData* createProfileData() override;
    CNodeFactory* createNodeFactory() override;
    CDialogInfo* createDialogInfo() override;

    bool OnEvent(const irr::SEvent& event) override;
    void onFrame() override;
    void registerScriptBindings() override;
    float getTimerSpeed(int timer) override;
    void onGameStateChanged(int state) override;
    void onInit() override;
    void onShutdown() override;
    CTextEffect* createTextEffect(const char* effectText) override;
};

// The one game client (borrowed); null before it is made.
CGameClient* getGame();

// Path searches made in the current frame; a hook for path-finding code.
extern int PathSearchCount;
// The largest count any frame ended with.
extern int PathSearchMax;
