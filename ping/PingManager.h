// The ping manager: turns ping requests into URLs, queues them and sends them one at a time from
// a worker thread of its own. Pings that fail (and asked to be kept) are held in a failed list of
// at most kMaxFailedPings entries, written to "Install\Setup\Reports" in the machine hive when
// the worker ends, and read back, removed from there and queued again at the next Start().
//
// Callers never wait for the network: a request returns once its URL is queued. Stop() and the
// destructor wait until every queued ping was tried, but never longer than the stop budget
// (kStopBudgetMilliseconds): an attempt under way when it ends is cut there, and the pings not
// tried yet join the failed list and are stored with it, so a stop with unreachable servers
// cannot hold the host for minutes, and no ping is lost or sent twice.
//
// What the store does is told as notes ("writing 2 failed pings to registry.", then
// "[hint00] http://..." per ping) to the note sink its owner gives, never to standard output:
// that is the host's own channel. Without a sink, the notes are dropped.
//
// Threads: the owner's threads call the public operations; the worker runs Run(), sends and
// saves. One recursive mutex guards the pending queue, the failed list and the drained event
// around them; a second one serialises starting and stopping the worker. The stop and running
// flags are atomics, read by one thread while the other writes them.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <boost/chrono.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "ping/IPingManager.h"
#include "ping/IPingSender.h"

class PingManager : public vmp::IPingManager {
public:
    // Sends through `sender`; with an empty pointer it makes a PingSender with a Socket of its
    // own. Starts the sender's socket layer once (its answer is not needed: a sender that could
    // not start fails every ping). The worker is not started: the owner calls Start().
    explicit PingManager(
        const boost::shared_ptr<IPingSender>& sender = boost::shared_ptr<IPingSender>());
    // Waits until the queue is drained (within the stop budget), stops and joins the worker, then
    // closes the sender.
    ~PingManager() override;
    PingManager(const PingManager&) = delete;
    PingManager& operator=(const PingManager&) = delete;

    // -1 for a null handler; registers it once, in registration order; 0.
    int AddHandler(vmp::IPingHandler* handler) override;
    // -1 for a null handler; unregisters it when registered; 0.
    int RemoveHandler(vmp::IPingHandler* handler) override;
    // Starts the worker (stopping a running one first), waits until it runs, then queues again
    // the pings stored by an earlier run. Failing to create the thread raises
    // boost::thread_resource_error.
    void Start() override;
    // Waits until the queue is drained (when a worker runs and the queue is not empty) or the
    // stop budget is spent, stops and joins the worker; true when a worker thread was joined.
    bool Stop() override;
    // Fills "%name%" tokens of the template from the named values, runs the text through
    // Boost.Format with the positional (unnamed) values, and queues baseUrl + "/" + text.
    // -1, with nothing queued, when a named token is missing from the template, the text is not
    // a valid format string, or the URL fails the URL check.
    int SendPing(const std::string& baseUrl, const std::string& pathTemplate,
                 const vmp::NameValueList& values, bool storeOnFailure) override;
    // Lets each handler in turn expand the text's tokens and build a URL; queues the first valid
    // one. -1 for an empty text or when no handler gives a valid URL.
    int SendText(const std::string& text, bool storeOnFailure, const std::string& delimiter,
                 const std::string& defaultBaseUrl) override;

    // Receives one line of text (without a line end) per note; called on the worker thread.
    typedef std::function<void(const std::string&)> NoteSink;
    // Gives the sink of the store's notes (an empty one drops them). Any thread.
    void SetNoteSink(const NoteSink& sink);

    // Most failed pings kept; the oldest is dropped for each one more.
    static constexpr size_t kMaxFailedPings = 100;
    // Longest a stop waits for the queue to be tried, counted from the call.
    static constexpr uint32_t kStopBudgetMilliseconds = 10000;

    // The URLs of the failed list, oldest first.
    std::vector<std::string> GetFailedPings();
    // Whether the worker runs.
    bool IsRunning() const { return running_; }

private:
    struct PingItem {
        std::string url;
        bool storeOnFailure = true;
    };

    // An auto-reset event: Set wakes every waiter; a waiter returns once it is set and clears it.
    class AutoResetEvent {
    public:
        void Set();
        void Reset();
        void Wait();
        // Waits until it is set (and clears it) or `interval` has passed on the monotonic clock.
        void WaitFor(boost::chrono::milliseconds interval);

    private:
        bool set_ = false;
        boost::mutex mutex_;
        boost::condition_variable changed_;
    };

    // Queues a URL, starting the worker first when it does not run.
    void Enqueue(const std::string& url, bool storeOnFailure);
    // Appends an item to the pending queue (the queue is no longer drained).
    void Append(const std::string& url, bool storeOnFailure);
    // Whether the pending queue is empty; when it is, the drained event is set.
    bool IsQueueEmpty();
    // Moves the front item out; true when an item with a URL was taken.
    bool PopFront(PingItem& item);
    // Keeps a failed item, dropping the oldest when the list is full.
    void KeepFailed(const PingItem& item);
    // Whether the worker may start another attempt: always while no stop is under way; during a
    // stop while its budget lasts, and then the calling (worker) thread's socket waits are capped
    // at the budget's end.
    bool MayAttempt();
    // Moves the pings not tried yet to the failed list (those asked to be kept); the queue is
    // then drained.
    void KeepUntried();
    // The worker thread's body.
    void Run();
    // Stops the worker: the common part of Stop() and the destructor.
    bool StopWorker();
    // Writes the failed list to the registry (worker thread, at its end).
    void SaveFailedPings();
    // Reads the stored pings, removes them from the registry and queues the valid ones again.
    void LoadFailedPings();
    // Hands a note to the sink, if there is one (the recursive mutex is held).
    void Note(const std::string& text);

    std::vector<vmp::IPingHandler*> handlers_;
    std::deque<PingItem> pending_;
    std::deque<PingItem> failed_;
    boost::shared_ptr<IPingSender> sender_;
    NoteSink notes_;
    std::atomic<bool> stop_{true};
    std::atomic<bool> running_{false};
    // Set by a stop before it waits for the queue, with the end of its budget.
    bool stopping_ = false;
    boost::chrono::steady_clock::time_point stopDeadline_;
    boost::thread worker_;
    boost::recursive_mutex mutex_;
    boost::recursive_mutex control_;
    AutoResetEvent drained_;
    AutoResetEvent started_;
    // Set when the worker is told to stop, so that it leaves its pause between looks at once.
    AutoResetEvent wake_;
};
