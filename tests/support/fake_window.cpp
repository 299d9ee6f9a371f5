#include "tests/support/fake_window.h"

#include <stdexcept>

namespace quorvane::test {

CFakeWindow::CFakeWindow(std::vector<std::u16string> sourceList, std::u16string key, std::deque<std::u16string> saves)
    : sources(std::move(sourceList)), keyAnswers{{kResultOk, std::move(key)}}, saveAnswers(std::move(saves))
{
}

int CFakeWindow::GetSourceCount()
{
    return countOverride != 0 ? countOverride : static_cast<int>(sources.size());
}

std::u16string CFakeWindow::GetSourceEntry(int index)
{
    return sources.at(static_cast<std::size_t>(index));
}

int CFakeWindow::PromptKey(CSecureText& keyText)
{
    events.push_back(u"key");
    if (keyAnswers.empty()) throw std::logic_error("unexpected key prompt");
    const KeyAnswer answer = keyAnswers.front();
    keyAnswers.pop_front();
    keyText.Assign(answer.text);
    return answer.result;
}

int CFakeWindow::ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath)
{
    events.push_back(u"save:" + std::u16string(proposedName));
    if (saveAnswers.empty()) throw std::logic_error("unexpected save chooser");
    const std::u16string answer = saveAnswers.front();
    saveAnswers.pop_front();
    if (answer.empty()) return kResultCancel;
    chosenPath = answer;
    return kResultOk;
}

void CFakeWindow::ShowMessage(std::u16string_view text, std::u16string_view title)
{
    events.push_back(Msg(title, text));
}

std::vector<std::u16string> CFakeWindow::Messages() const
{
    std::vector<std::u16string> out;
    for (const auto& e : events)
        if (e.starts_with(u"msg:")) out.push_back(e);
    return out;
}

std::u16string Msg(std::u16string_view title, std::u16string_view text)
{
    return u"msg:" + std::u16string(title) + u":" + std::u16string(text);
}

}  // namespace quorvane::test
