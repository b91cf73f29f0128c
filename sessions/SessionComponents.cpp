#include "sessions/SessionComponents.h"

#include "engine/IMultiLangString.h"
#include "engine/Locale.h"

namespace {

bool Localized(const boost::shared_ptr<vmi::IMultiLangString>& text, std::string& out) {
    return text && text->GetLocalizedText(vmi::Locale::CurrentCode(), out) == 0;
}

}  // namespace

vmi::ComponentPtr FindSessionComponent(const vmi::ComponentList& components,
                                       const std::string& id) {
    if (id.empty()) {
        return vmi::ComponentPtr();
    }
    for (const vmi::ComponentPtr& component : components) {
        if (component && component->GetId() == id) {
            return component;
        }
    }
    return vmi::ComponentPtr();
}

uint32_t SessionComponentName(const vmi::ComponentList& components, const std::string& id,
                              std::string& text) {
    const vmi::ComponentPtr current = FindSessionComponent(components, id);
    if (!current) {
        return 6;
    }
    boost::shared_ptr<vmi::IMultiLangString> name;
    std::string localized;
    current->GetName(name);
    Localized(name, localized);
    text = localized;
    return 0;
}

uint32_t SessionProgressText(const vmi::ComponentPtr& component, const std::string& phase,
                             std::string& text) {
    boost::shared_ptr<vmi::IMultiLangString> progress;
    std::string localized;
    if (!component || component->GetProgressText(phase, progress) != 0 ||
        !Localized(progress, localized)) {
        return 2;
    }
    text = localized;
    return 0;
}
