// Records message boxes and answers them from a script (tests).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "msgbox.h"

struct SRecordedBox {
    std::string Text;
    std::string Caption;
    unsigned Type;
};

// Installs itself as the box hook for its lifetime. Each box takes the next
// scripted answer; with none left it answers as an unattended box would.
class CMessageBoxRecorder {
public:
    CMessageBoxRecorder();
    ~CMessageBoxRecorder();
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    void answerNext(int answer) { Answers.push_back(answer); }

    std::vector<SRecordedBox> Boxes;

private:
    std::deque<int> Answers;
    platform::MessageBoxHook Previous;
};
