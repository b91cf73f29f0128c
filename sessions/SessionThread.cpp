#include "sessions/SessionThread.h"

#include <exception>

#include <boost/thread/lock_guard.hpp>

SessionThread::~SessionThread() {
    Join();
}

bool SessionThread::Start(const boost::function<void()>& body) {
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (started_) {
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
