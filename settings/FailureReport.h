// Failures of the registry that a caller only sees as a false answer, but a person needs to
// know about: a hive that is damaged or not a hive, an input-output error, a full disk. The
// settings store reports them here; the component manager points the report at its install log
// for its lifetime, so that a damaged hive does not look like "nothing installed".
//
// Each distinct text is reported once while a sink is set, so that a hive read a thousand
// times leaves one line. Any thread may report or set the sink.
#pragma once

#include <string>

#include <boost/function.hpp>

namespace vmds {

typedef boost::function<void(const std::string& text)> FailureSink;

// Sets where failures go (an empty sink: nowhere) and forgets the texts reported so far.
void SetFailureSink(const FailureSink& sink);

// Reports `text` to the sink, unless it was reported before.
void ReportFailure(const std::string& text);

}  // namespace vmds
