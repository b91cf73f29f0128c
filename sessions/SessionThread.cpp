#include "sessions/SessionThread.h"

#include <atomic>
#include <exception>

#include <boost/thread/lock_guard.hpp>

namespace {

std::atomic<int> refusedStarts{0};

// True while starts are to be refused (RefuseNextStartsForTesting), taking one refusal.
bool TakeRefusal() {
    int left = refusedStarts.load();
    while (left > 0) {
        if (refusedStarts.compare_exchange_weak(left, left - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void SessionThread::RefuseNextStartsForTesting(int count) {
    refusedStarts = count;
}

SessionThread::~SessionThread() {
    Join();
}

bool SessionThread::Start(const boost::function<void()>& body) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (started_) {
        return false;
    }
    if (TakeRefusal()) {
        return false;
    }
    try {
        thread_ = boost::thread(body);
    } catch (const std::exception&) {
        return false;  // no thread could be made
    }
    started_ = true;
    return true;
}

void SessionThread::Join() {
    boost::thread thread;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        thread = boost::move(thread_);
    }
    if (!thread.joinable()) {
        return;
    }
    if (thread.get_id() == boost::this_thread::get_id()) {
        thread.detach();
        return;
    }
    thread.join();
}
