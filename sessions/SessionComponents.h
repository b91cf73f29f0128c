// What an install or uninstall session says about the component it works on, from its
// component objects: the one with the current id, its name, and its progress text for a phase,
// in the current user-interface locale. Pure lookups over the list given; a session calls them
// under its own lock.
#pragma once

#include <cstdint>
#include <string>

#include "engine/IComponent.h"

// The component whose id is `id`; null for an empty id or none.
vmi::ComponentPtr FindSessionComponent(const vmi::ComponentList& components, const std::string& id);

// 0 with the name of the component `id` (empty when it has none in any language); 6 without
// such a component.
uint32_t SessionComponentName(const vmi::ComponentList& components, const std::string& id,
                              std::string& text);

// 0 with the progress text of `component` for `phase` ("download", "install", "uninstall");
// 2 when it has none. `text` is left as it is on 2.
uint32_t SessionProgressText(const vmi::ComponentPtr& component, const std::string& phase,
                             std::string& text);
