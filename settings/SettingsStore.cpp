// Placeholder until the registry layer lands: no key can be opened.
#include "settings/IVomoSettings.h"

namespace vmds {

bool OpenSettings(const std::string&, uint32_t, IVomoSettings::Ptr*) { return false; }

}  // namespace vmds
