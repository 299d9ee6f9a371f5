#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/logic/message_loop_core.h"

namespace quorvane::app {
namespace {

struct FakeMessage {
    unsigned id = 0;
    int param = 0;
};

constexpr unsigned kMouseMove = 0x0200, kNcMouseMove = 0x00A0, kPaint = 0x000F, kCaretBlink = 0x0118;
constexpr unsigned kKeyDown = 0x0100, kCommand = 0x0111, kTimer = 0x0113, kChar = 0x0102;

// A queue played from a script. "Empty" marks a moment when nothing is waiting.
struct Step {
    enum Kind { empty, message, error, quit } kind;
    FakeMessage msg;
};
Step Empty()
{
    return {Step::empty, {}};
}
Step Msg(unsigned id, int param = 0)
{
    return {Step::message, {id, param}};
}
Step Error()
{
    return {Step::error, {}};
}
Step Quit(int code)
{
    return {Step::quit, {0x0012, code}};
}

class CScriptedQueue {
public:
    CScriptedQueue(std::initializer_list<Step> steps, std::vector<std::string>& log) : steps_(steps), log_(log) {}

    bool IsEmpty() { return !steps_.empty() && steps_.front().kind == Step::empty; }
    int Get(FakeMessage& out)
    {
        while (!steps_.empty() && steps_.front().kind == Step::empty) steps_.pop_front();
        if (steps_.empty()) throw std::logic_error("script ran out before the quit message");
        const Step step = steps_.front();
        steps_.pop_front();
        out = step.msg;
        if (step.kind == Step::error) return -1;
        return step.kind == Step::quit ? 0 : 1;
    }
    void TranslateAndDispatch(FakeMessage& m) { log_.push_back("dispatch " + std::to_string(m.id)); }
    static unsigned Id(const FakeMessage& m) { return m.id; }
    static int ExitCode(const FakeMessage& m) { return m.param; }

private:
    std::deque<Step> steps_;
    std::vector<std::string>& log_;
};

using CLoop = CMessageLoopT<FakeMessage>;

class CLoggingIdle : public CIdleHandler {
public:
    CLoggingIdle(std::string name, std::vector<std::string>& log, bool answer = false)
        : name_(std::move(name)), log_(log), answer_(answer)
    {
    }
    bool HandleIdle() override
    {
        log_.push_back("idle " + name_);
        return answer_;
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
    bool answer_;
};

class CLoggingFilter : public CMessageFilterT<FakeMessage> {
public:
    CLoggingFilter(std::string name, std::vector<std::string>& log, unsigned consumes = ~0u)
        : name_(std::move(name)), log_(log), consumes_(consumes)
    {
    }
    bool FilterMessage(FakeMessage* m) override
    {
        log_.push_back("filter " + name_);
        return m->id == consumes_;
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
    unsigned consumes_;
};

int RunScript(CLoop& loop, std::initializer_list<Step> steps, std::vector<std::string>& log)
{
    CScriptedQueue queue(steps, log);
    return loop.RunWith(queue);
}

using Log = std::vector<std::string>;

TEST(MessageLoop, idles_once_at_start_and_returns_the_quit_value)
{
    Log log;
    CLoop loop;
    CLoggingIdle idle("main", log);
    loop.RegisterIdleHandler(&idle);
    EXPECT_EQ(RunScript(loop, {Empty(), Empty(), Quit(2)}, log), 2);
    EXPECT_EQ(log, (Log{"idle main"}));
}

TEST(MessageLoop, only_messages_other_than_moves_paints_and_0x118_wake_idling)
{
    struct Row {
        unsigned id;
        bool wakes;
    };
    const Row rows[] = {{kMouseMove, false},  {kNcMouseMove, false}, {kPaint, false},
                        {kCaretBlink, false}, {kKeyDown, true},      {kChar, true},
                        {kCommand, true},     {kTimer, true},        {0x0201, true} /* a click */};
    for (const Row& row : rows) {
        Log log;
        CLoop loop;
        CLoggingIdle idle("h", log);
        loop.RegisterIdleHandler(&idle);
        RunScript(loop, {Empty(), Msg(row.id), Empty(), Quit(0)}, log);
        const Log expected = row.wakes ? Log{"idle h", "dispatch " + std::to_string(row.id), "idle h"}
                                       : Log{"idle h", "dispatch " + std::to_string(row.id)};
        EXPECT_EQ(log, expected) << std::hex << row.id;
    }
}

TEST(MessageLoop, idles_only_when_the_queue_is_empty_after_a_waking_message)
{
    Log log;
    CLoop loop;
    CLoggingIdle idle("h", log);
    loop.RegisterIdleHandler(&idle);
    // Two waking messages back to back: one idle round after them, not two.
    RunScript(loop, {Msg(kKeyDown), Msg(kChar), Empty(), Msg(kMouseMove), Msg(kPaint), Empty(), Quit(0)}, log);
    EXPECT_EQ(log, (Log{"dispatch 256", "dispatch 258", "idle h", "dispatch 512", "dispatch 15"}));
}

TEST(MessageLoop, a_failed_get_changes_nothing)
{
    Log log;
    CLoop loop;
    CLoggingIdle idle("h", log);
    loop.RegisterIdleHandler(&idle);
    EXPECT_EQ(RunScript(loop, {Empty(), Error(), Empty(), Msg(kMouseMove), Error(), Empty(), Quit(7)}, log), 7);
    // Idle is off after the first round; neither the errors nor the move turn it back on.
    EXPECT_EQ(log, (Log{"idle h", "dispatch 512"}));
}

TEST(MessageLoop, idle_pass_runs_handlers_in_order_and_ignores_their_answers)
{
    Log log;
    CLoop loop;
    CLoggingIdle first("1", log, true), second("2", log, false), third("3", log, true);
    loop.RegisterIdleHandler(&first);
    loop.RegisterIdleHandler(&second);
    loop.RegisterIdleHandler(&third);
    RunScript(loop, {Empty(), Quit(0)}, log);
    EXPECT_EQ(log, (Log{"idle 1", "idle 2", "idle 3"}));
}

TEST(MessageLoop, idle_count_grows_while_the_pass_asks_for_more)
{
    struct CCountingLoop : CLoop {
        std::vector<int> counts;
        bool IdlePass(int idleCount) override
        {
            counts.push_back(idleCount);
            return idleCount < 2;
        }
    } loop;
    Log log;
    RunScript(loop, {Empty(), Msg(kKeyDown), Empty(), Quit(0)}, log);
    EXPECT_EQ(loop.counts, (std::vector<int>{0, 1, 2, 0, 1, 2}));
}

TEST(MessageLoop, filters_are_asked_newest_first_and_the_first_consumer_ends_the_pass)
{
    Log log;
    CLoop loop;
    CLoggingFilter oldest("oldest", log), middle("middle", log, kKeyDown), newest("newest", log);
    loop.RegisterFilter(&oldest);
    loop.RegisterFilter(&middle);
    loop.RegisterFilter(&newest);
    RunScript(loop, {Msg(kKeyDown), Msg(kCommand), Quit(0)}, log);
    EXPECT_EQ(log, (Log{// consumed by "middle": "oldest" is not asked and nothing is dispatched
                        "filter newest", "filter middle",
                        // taken by none: all are asked, then it is dispatched
                        "filter newest", "filter middle", "filter oldest", "dispatch 273"}));
}

TEST(MessageLoop, unregistering_removes_the_first_match_and_keeps_the_order)
{
    Log log;
    CLoop loop;
    CLoggingFilter a("a", log), b("b", log);
    loop.RegisterFilter(&a);
    loop.RegisterFilter(&b);
    loop.RegisterFilter(&a);
    EXPECT_TRUE(loop.UnregisterFilter(&a));
    RunScript(loop, {Msg(kCommand), Quit(0)}, log);
    EXPECT_EQ(log, (Log{"filter a", "filter b", "dispatch 273"}));  // the later "a" stayed, after "b"
    EXPECT_TRUE(loop.UnregisterFilter(&a));
    EXPECT_FALSE(loop.UnregisterFilter(&a));

    CLoggingIdle idle("i", log);
    EXPECT_FALSE(loop.UnregisterIdleHandler(&idle));
    loop.RegisterIdleHandler(&idle);
    EXPECT_TRUE(loop.UnregisterIdleHandler(&idle));
    EXPECT_FALSE(loop.UnregisterIdleHandler(&idle));
}

TEST(MessageLoop, a_filter_may_unregister_itself_while_it_runs)
{
    // As the main window does when Escape destroys it from inside its own filter.
    struct CLeavingFilter : CMessageFilterT<FakeMessage> {
        CLoop* loop = nullptr;
        bool FilterMessage(FakeMessage*) override
        {
            loop->UnregisterFilter(this);
            return true;
        }
    } leaving;
    Log log;
    CLoop loop;
    CLoggingFilter other("other", log);
    leaving.loop = &loop;
    loop.RegisterFilter(&other);
    loop.RegisterFilter(&leaving);
    RunScript(loop, {Msg(kKeyDown), Msg(kKeyDown), Quit(2)}, log);
    EXPECT_EQ(log, (Log{"filter other", "dispatch 256"}));
}

TEST(MessageLoop, failing_filters_and_idle_handlers_do_not_end_the_loop)
{
    struct CThrowingFilter : CMessageFilterT<FakeMessage> {
        bool FilterMessage(FakeMessage*) override { throw std::runtime_error("filter"); }
    } filter;
    struct CThrowingIdle : CIdleHandler {
        int calls = 0;
        bool HandleIdle() override
        {
            ++calls;
            throw std::bad_alloc();
        }
    } idle;
    Log log;
    CLoop loop;
    loop.RegisterFilter(&filter);
    loop.RegisterIdleHandler(&idle);
    EXPECT_EQ(RunScript(loop, {Empty(), Msg(kCommand), Empty(), Quit(2)}, log), 2);
    EXPECT_EQ(log, (Log{"dispatch 273"}));  // the message still got its normal handling
    EXPECT_EQ(idle.calls, 2);
}

TEST(MessageLoop, empty_filter_entries_are_skipped)
{
    Log log;
    CLoop loop;
    CLoggingFilter real("real", log);
    loop.RegisterFilter(&real);
    loop.RegisterFilter(nullptr);
    RunScript(loop, {Msg(kCommand), Quit(0)}, log);
    EXPECT_EQ(log, (Log{"filter real", "dispatch 273"}));
}

}  // namespace
}  // namespace quorvane::app
