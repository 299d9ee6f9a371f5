#pragma once
// A scripted stand-in for the main window: it answers the jobs from a script
// and records every prompt, proposal and message in order.
#include <deque>
#include <string>
#include <vector>

#include "jobs/job_window.h"

namespace quorvane::test {

struct KeyAnswer {
    int result;
    std::u16string text;
};

class CFakeWindow : public CJobWindow {
public:
    CFakeWindow() = default;
    // A list of `sourceList`, a key prompt answered with `key`, and the save chooser answered with `saves` in turn.
    CFakeWindow(std::vector<std::u16string> sourceList, std::u16string key, std::deque<std::u16string> saves = {});

    std::vector<std::u16string> sources;
    int countOverride = 0;  // when non-zero, reported instead of sources.size()
    std::deque<KeyAnswer> keyAnswers;
    std::deque<std::u16string> saveAnswers;  // a path to save at, or "" to cancel

    // Everything the job showed, in order: "key", "save:<proposal>", "msg:<title>:<text>".
    std::vector<std::u16string> events;

    int GetSourceCount() override;
    std::u16string GetSourceEntry(int index) override;
    int PromptKey(CSecureText& keyText) override;
    int ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath) override;
    void ShowMessage(std::u16string_view text, std::u16string_view title) override;

    std::vector<std::u16string> Messages() const;  // the "msg:" events
};

// The event a message box leaves: "msg:<title>:<text>".
std::u16string Msg(std::u16string_view title, std::u16string_view text);

}  // namespace quorvane::test
