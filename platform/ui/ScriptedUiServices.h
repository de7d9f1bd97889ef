// The UI services tests install: every message box is recorded, questions are answered
// from a queue the test fills, pauses are recorded and return at once. A question that
// nobody scripted ends the test program loudly instead of guessing an answer.
#pragma once

#include "platform/ui/UiServices.h"

#include <deque>
#include <vector>

namespace ui {

class TScriptedUiServices : public IUiServices {
public:
    // Queues the answer for the next Yes/No question.
    void Answer(TMsgAnswer answer) { answers_.push_back(answer); }

    TMsgAnswer ShowMessage(const TMessageRequest& request) override;
    void ProcessMessages() override { ++processMessagesCalls; }
    void SetBusyCursor(bool busy) override;
    void Pause(int milliseconds) override { pauses.push_back(milliseconds); }

    std::vector<TMessageRequest> messages;
    std::vector<int> pauses;
    int processMessagesCalls = 0;
    int cursorChanges = 0;
    bool busy = false;
    std::size_t PendingAnswers() const { return answers_.size(); }

private:
    std::deque<TMsgAnswer> answers_;
};

} // namespace ui
