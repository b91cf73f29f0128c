#include "offers/OfferRecord.h"

namespace {

std::string Localized(const boost::shared_ptr<vmi::IMultiLangString>& text,
                      const std::string& code) {
    std::string value;
    if (!text || text->GetLocalizedText(code, value) != 0) {
        return std::string();
    }
    return value;
}

}  // namespace

OfferRecord MakeOfferRecord(const PluginRecord& plugin, const std::string& installDir,
                            const std::string& languageCode) {
    OfferRecord offer;
    offer.id = plugin.id;
    offer.packageType = plugin.packageType;
    offer.packageUrl = Url(plugin.packageUrl);
    offer.commandLineArgs = plugin.commandLineArgs;
    offer.installDir = installDir;
    offer.downloadText = Localized(plugin.downloadProgressText, languageCode);
    offer.installText = Localized(plugin.installProgressText, languageCode);
    return offer;
}
