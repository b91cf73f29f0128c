#include "offers/OfferRecord.h"

#include "engine/MultiLangStringImpl.h"

OfferRecord MakeOfferRecord(const PluginRecord& plugin, const std::string& installDir,
                            const std::string& languageCode) {
    OfferRecord offer;
    offer.id = plugin.id;
    offer.packageType = plugin.packageType;
    offer.packageUrl = Url(plugin.packageUrl);
    offer.packageSha256 = plugin.packageSha256;
    offer.commandLineArgs = plugin.commandLineArgs;
    offer.installDir = installDir;
    offer.downloadText = LocalizedOrEmpty(plugin.downloadProgressText, languageCode);
    offer.installText = LocalizedOrEmpty(plugin.installProgressText, languageCode);
    return offer;
}
