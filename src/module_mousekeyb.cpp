// The input receiver.
#include "module_mousekeyb.h"

#include "module_enginebase.h"
#include "utils_system_common.h"

bool CInputReceiver::OnEvent(const irr::SEvent& event)
{
    if (event.EventType == irr::EET_MOUSE_INPUT_EVENT) {
        CursorPos.set(event.MouseInput.X, event.MouseInput.Y);
        if (event.MouseInput.Event == irr::EMIE_LMOUSE_PRESSED_DOWN)
            LeftButton = 1;
        else if (event.MouseInput.Event == irr::EMIE_LMOUSE_LEFT_UP)
            LeftButton = 0;
    } else if (event.EventType == irr::EET_KEY_INPUT_EVENT) {
        RecordKeyState(event.KeyInput.Key, event.KeyInput.PressedDown);
    }
    CEngineClient* client = getEngine()->getClient();
    return client ? client->OnEvent(event) : false;
}
