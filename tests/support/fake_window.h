#pragma once
// A scripted stand-in for the main window: it answers the jobs from a script and records what they showed.
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "jobs/job_window.h"

namespace quorvane::test {

struct KeyAnswer {
    int result;
    std::u16string text;
};

// The event a message box leaves: "msg:<title>:<text>".
inline std::u16string Msg(std::u16string_view title, std::u16string_view text)
{
    return u"msg:" + std::u16string(title) + u":" + std::u16string(text);
}

class CFakeWindow : public CJobWindow {
public:
    CFakeWindow() = default;
    // A list of `sourceList`, a key prompt answered with `key`, and the save chooser answered with `saves` in turn.
    CFakeWindow(std::vector<std::u16string> sourceList, std::u16string key, std::deque<std::u16string> saves = {})
        : sources(std::move(sourceList)), keyAnswers{{kResultOk, std::move(key)}}, saveAnswers(std::move(saves))
    {
    }

    std::vector<std::u16string> sources;
    int countOverride = 0;  // when non-zero, reported instead of sources.size()
    std::deque<KeyAnswer> keyAnswers;
    std::deque<std::u16string> saveAnswers;  // a path to save at, or "" to cancel

    int stopAfterReports = -1;  // when not negative, the pass is told to stop at that many reports

    // Everything the job showed, in order: "key", "save:<proposal>", "msg:<title>:<text>",
    // "pass:<encrypt|decrypt>:<name>".
    std::vector<std::u16string> events;

    int GetSourceCount() override { return countOverride != 0 ? countOverride : static_cast<int>(sources.size()); }
    std::u16string GetSourceEntry(int index) override { return sources.at(static_cast<std::size_t>(index)); }
    void ShowMessage(std::u16string_view text, std::u16string_view title) override
    {
        events.push_back(Msg(title, text));
    }

    int PromptKey(CSecureText& keyText) override
    {
        events.push_back(u"key");
        if (keyAnswers.empty()) throw std::logic_error("unexpected key prompt");
        const KeyAnswer answer = keyAnswers.front();
        keyAnswers.pop_front();
        keyText.Assign(answer.text);
        return answer.result;
    }

    int ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath) override
    {
        events.push_back(u"save:" + std::u16string(proposedName));
        if (saveAnswers.empty()) throw std::logic_error("unexpected save chooser");
        const std::u16string answer = saveAnswers.front();
        saveAnswers.pop_front();
        if (answer.empty()) return kResultCancel;
        chosenPath = answer;
        return kResultOk;
    }

    void RunPass(PassAction action, std::u16string_view fileName, std::uint64_t,
                 const std::function<void(CPassMonitor&)>& work) override
    {
        events.push_back(u"pass:" + std::u16string(action == PassAction::encrypt ? u"encrypt" : u"decrypt") + u":" +
                         std::u16string(fileName));
        struct CMonitor : CPassMonitor {
            int left;
            bool Report(std::uint64_t) noexcept override { return left < 0 || left-- > 0; }
        } monitor;
        monitor.left = stopAfterReports;
        work(monitor);
    }

    // The "msg:" events.
    std::vector<std::u16string> Messages() const
    {
        std::vector<std::u16string> out;
        for (const auto& e : events)
            if (e.starts_with(u"msg:")) out.push_back(e);
        return out;
    }
};

}  // namespace quorvane::test
