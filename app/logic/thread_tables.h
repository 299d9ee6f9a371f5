#pragma once
// The shell module's two per-thread tables, each under its own lock: which loop
// runs on a thread, and which dialog objects wait for their first message.
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvane::app {

template <class Loop>
class CLoopRegistry {
public:
    // Enters `loop` for the calling thread, replacing an earlier entry. May throw std::bad_alloc.
    void Register(Loop* loop)
    {
        std::lock_guard guard(lock_);
        loops_[std::this_thread::get_id()] = loop;
    }
    bool Unregister()
    {
        std::lock_guard guard(lock_);
        return loops_.erase(std::this_thread::get_id()) != 0;
    }
    Loop* ForCurrentThread() const
    {
        std::lock_guard guard(lock_);
        const auto found = loops_.find(std::this_thread::get_id());
        return found == loops_.end() ? nullptr : found->second;
    }
    void Clear()
    {
        std::lock_guard guard(lock_);
        loops_.clear();
    }

private:
    mutable std::mutex lock_;
    std::map<std::thread::id, Loop*> loops_;
};

// Objects whose window is being created, newest first. The platform's first
// message for a new window carries no pointer to its object, so the start
// procedure takes the newest entry of its own thread.
template <class Object>
class CPendingBindings {
public:
    // May throw std::bad_alloc; the creation then fails before the platform is asked.
    void Push(Object* object)
    {
        std::lock_guard guard(lock_);
        entries_.insert(entries_.begin(), {object, std::this_thread::get_id()});
    }
    Object* TakeForCurrentThread()
    {
        std::lock_guard guard(lock_);
        const auto self = std::this_thread::get_id();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second == self) {
                Object* object = it->first;
                entries_.erase(it);
                return object;
            }
        }
        return nullptr;
    }
    // Drops the object's entry if no window took it, e.g. when creation failed
    // before the first message: a stale entry would bind the next window wrongly.
    bool Withdraw(Object* object)
    {
        std::lock_guard guard(lock_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->first == object) {
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }

private:
    std::mutex lock_;
    std::vector<std::pair<Object*, std::thread::id>> entries_;
};

}  // namespace quorvane::app
