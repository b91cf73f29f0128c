// The reason a failure line of the install log gives, never empty: "interrupted by signal N"
// when the process's runs were interrupted (platform/Interrupt.h), else the calling thread's
// last error (platform/LastError.h), else `fallback`. Any thread.
#pragma once

#include <string>

std::string FailureReason(const char* fallback);
