#include "api/PingSender.h"

// Placeholder until the ping manager lands: nothing is queued.
namespace vcm {

PingSender::PingSender() = default;
PingSender::~PingSender() = default;
bool PingSender::SendText(const std::string&) {
    return false;
}
bool PingSender::SendComponentHint(const std::string&, bool) {
    return false;
}

}  // namespace vcm
