#pragma once
// The message loop's rules, free of the platform: the filter pass, the idle
// pass and when idling starts again. The platform's queue is a parameter, so
// the rules build and read without the platform.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace quorvane::app {

// Mouse moves, paints and 0x118 (the caret's blink timer) come in steady
// streams without the user doing anything; they must not wake the idle handlers.
constexpr bool KeepsIdleState(unsigned message)
{
    return message == 0x0200 || message == 0x00A0 || message == 0x000F || message == 0x0118;
}

template <class Message>
class CMessageFilterT {
public:
    virtual ~CMessageFilterT() = default;
    // True when the message is consumed: it is then neither translated nor dispatched.
    virtual bool FilterMessage(Message* message) = 0;
};

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    // What it returns is ignored by the idle pass.
    virtual bool HandleIdle() = 0;
};

// Queue concept: bool IsEmpty(); int Get(Message&) returning -1 on error, 0 on
// the quit message, anything else for a message; void TranslateAndDispatch(Message&);
// static unsigned Id(const Message&); static int ExitCode(const Message&).
template <class Message>
class CMessageLoopT {
public:
    using Filter = CMessageFilterT<Message>;

    virtual ~CMessageLoopT() = default;

    void RegisterFilter(Filter* filter) { filters_.push_back(filter); }
    void RegisterIdleHandler(CIdleHandler* handler) { idleHandlers_.push_back(handler); }
    bool UnregisterFilter(Filter* filter) { return RemoveFirst(filters_, filter); }
    bool UnregisterIdleHandler(CIdleHandler* handler) { return RemoveFirst(idleHandlers_, handler); }

    // Newest filter first; the first one that consumes the message ends the pass.
    virtual bool FilterPass(Message* message)
    {
        // By index, not iterator: a filter may unregister itself (or others)
        // while it handles the message, e.g. when the main window is destroyed.
        for (std::size_t i = filters_.size(); i-- > 0;) {
            if (i >= filters_.size()) continue;
            Filter* filter = filters_[i];
            if (filter != nullptr && filter->FilterMessage(message)) return true;
        }
        return false;
    }

    // Every handler once, in registration order; false stops idling until the
    // next message that resets the idle state.
    virtual bool IdlePass(int idleCount)
    {
        (void)idleCount;
        for (std::size_t i = 0; i < idleHandlers_.size(); ++i) {
            CIdleHandler* handler = idleHandlers_[i];
            if (handler != nullptr) handler->HandleIdle();
        }
        return false;
    }

    template <class Queue>
    int RunWith(Queue& queue)
    {
        bool idle = true;
        int idleCount = 0;
        for (;;) {
            while (idle && queue.IsEmpty()) {
                bool more = false;
                try {
                    more = IdlePass(idleCount);
                } catch (...) {
                    // A failing idle handler only ends this round of idling.
                }
                ++idleCount;
                if (!more) idle = false;
            }
            const int got = queue.Get(message_);
            if (got == -1) continue;
            if (got == 0) return Queue::ExitCode(message_);

            bool consumed = false;
            try {
                consumed = FilterPass(&message_);
            } catch (...) {
                consumed = false;  // the message still gets its normal handling
            }
            if (!consumed) queue.TranslateAndDispatch(message_);

            if (!KeepsIdleState(Queue::Id(message_))) {
                idle = true;
                idleCount = 0;
            }
        }
    }

protected:
    Message message_{};

private:
    template <class T>
    static bool RemoveFirst(std::vector<T*>& list, T* item)
    {
        const auto found = std::find(list.begin(), list.end(), item);
        if (found == list.end()) return false;
        list.erase(found);
        return true;
    }

    std::vector<Filter*> filters_;
    std::vector<CIdleHandler*> idleHandlers_;
};

}  // namespace quorvane::app
