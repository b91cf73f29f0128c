// SessionThread: the worker thread of one session or offer install. It is started once and
// waited for by its owner's destructor, so that an owner never goes away under its worker.
//
// The owner keeps nothing of itself alive on the worker (no shared pointer to itself), so the
// last reference to it is dropped on another thread and the wait ends. Should the owner still
// be released on its own worker (a completion function that drops the last reference), Join
// lets the thread run out instead of waiting on itself.
//
// Start and Join belong to the owner's thread; IsStarted may be asked on any thread.
#pragma once

#include <boost/function.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

class SessionThread {
public:
    SessionThread() = default;
    ~SessionThread();
    SessionThread(const SessionThread&) = delete;
    SessionThread& operator=(const SessionThread&) = delete;

    // Runs `body` on a new thread. False when a thread was started before, or none can be made.
    bool Start(const boost::function<void()>& body);
    // Waits until the thread has ended; nothing to do when none runs.
    void Join();

    // For tests of what an owner does when no thread can be made: the next `count` calls of
    // Start, on any SessionThread, fail as if the system refused the thread.
    static void RefuseNextStartsForTesting(int count);

private:
    boost::mutex mutex_;  // guards the two below
    boost::thread thread_;
    bool started_ = false;
};
