#include "settings/FailureReport.h"

#include <set>

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>

namespace vmds {

namespace {

boost::mutex mutex;
FailureSink current;
std::set<std::string> reported;

}  // namespace

void SetFailureSink(const FailureSink& sink) {
    boost::lock_guard<boost::mutex> lock(mutex);
    current = sink;
    reported.clear();
}

void ReportFailure(const std::string& text) {
    FailureSink sink;
    {
        boost::lock_guard<boost::mutex> lock(mutex);
        if (!current || !reported.insert(text).second) {
            return;
        }
        sink = current;
    }
    sink(text);  // outside the lock: the sink may take locks of its own
}

}  // namespace vmds
