#include "sessions/AsyncOfferInstall.h"

#include <boost/make_shared.hpp>

#include "sessions/AsyncOfferInstallImpl.h"

AsyncOfferInstall::AsyncOfferInstall(const OfferRecord& record,
                                     const boost::shared_ptr<vmi::IEventLog>& log)
    : record_(record), log_(log), worker_(boost::make_shared<AsyncOfferInstallImpl>(record, log)) {
    worker_->Start();
}

AsyncOfferInstall::~AsyncOfferInstall() = default;

int32_t AsyncOfferInstall::GetState() {
    return worker_->GetState();
}

bool AsyncOfferInstall::GetInstallerResult(uint32_t& result) {
    return worker_->GetInstallerResult(result);
}
