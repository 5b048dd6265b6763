// Box recorder, and the rule that no unit test ever opens a real box.
#include "msgbox_recorder.h"

namespace {

// Unit tests never ask a person, whatever the environment says.
const bool BoxesSilenced = [] {
    platform::SetBoxesInteractive(0);
    return true;
}();

} // namespace

CMessageBoxRecorder::CMessageBoxRecorder()
{
    Previous = platform::SetMessageBoxHook([this](const char* text, const char* caption, unsigned type) {
        Boxes.push_back({text, caption, type});
        if (Answers.empty())
            return platform::UnattendedBoxAnswer(type);
        int answer = Answers.front();
        Answers.pop_front();
        return answer;
    });
}

CMessageBoxRecorder::~CMessageBoxRecorder()
{
    platform::SetMessageBoxHook(Previous);
}
