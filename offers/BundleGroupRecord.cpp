#include "offers/BundleGroupRecord.h"

#include <boost/make_shared.hpp>

namespace {

template <typename T>
uint32_t Hand(const T& value, bool present, T& out) {
    if (!present) {
        return 2;
    }
    out = value;
    return 0;
}

class BundleGroupImpl : public vmi::IBundleGroup {
public:
    explicit BundleGroupImpl(const BundleGroupRecord& record) : r_(record) {}

    uint32_t GetId(std::string& id) override {
        id = r_.id;
        return 0;
    }
    uint32_t GetHeading(boost::shared_ptr<vmi::IMultiLangString>& text) override {
        return Hand(r_.heading, r_.heading != nullptr, text);
    }
    uint32_t GetDescription(boost::shared_ptr<vmi::IMultiLangString>& text) override {
        return Hand(r_.description, r_.description != nullptr, text);
    }
    uint32_t GetUninstallerName(boost::shared_ptr<vmi::IMultiLangString>& text) override {
        return Hand(r_.uninstallerName, r_.uninstallerName != nullptr, text);
    }
    uint32_t GetEulaIds(std::vector<std::string>& ids) override {
        return Hand(r_.eulaIds, !r_.eulaIds.empty(), ids);
    }
    uint32_t GetEulas(std::vector<boost::shared_ptr<vmi::IEula>>& eulas) override {
        return Hand(r_.eulas, !r_.eulas.empty(), eulas);
    }
    uint32_t GetComponentIds(std::vector<std::string>& ids) override {
        return Hand(r_.componentIds, !r_.componentIds.empty(), ids);
    }
    uint32_t GetPostInstallUrl(std::string& url) override {
        return Hand(r_.postInstallUrl, !r_.postInstallUrl.empty(), url);
    }
    uint32_t GetWizardLayoutId(std::string& id) override {
        return Hand(r_.wizardLayoutId, !r_.wizardLayoutId.empty(), id);
    }
    uint32_t GetMarketingBundleVersion(std::string& version) override {
        return Hand(r_.marketingBundleVersion, !r_.marketingBundleVersion.empty(), version);
    }

private:
    const BundleGroupRecord r_;
};

}  // namespace

boost::shared_ptr<vmi::IBundleGroup> CreateBundleGroup(const BundleGroupRecord& record) {
    return boost::make_shared<BundleGroupImpl>(record);
}
