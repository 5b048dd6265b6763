// The input receiver: the device's event receiver, which records the state
// of mouse and keys and hands every event on to the game's client.
#pragma once

#include <IEventReceiver.h>
#include <position2d.h>

class CInputReceiver : public irr::IEventReceiver {
public:
    CInputReceiver() = default;
    CInputReceiver(const CInputReceiver&) = delete;
    CInputReceiver& operator=(const CInputReceiver&) = delete;

    bool OnEvent(const irr::SEvent& event) override;

    // The cursor's pixel position, as the last mouse event gave it.
    const irr::core::position2di& getCursorPos() const { return CursorPos; }
    // 1 while the left button is held, else 0.
    int isLeftButtonDown() const { return LeftButton; }

private:
    irr::core::position2di CursorPos{0, 0};
    int LeftButton = 0;
};
