#include "engine/MultiLangStringImpl.h"

#include "engine/Locale.h"

uint32_t MultiLangStringImpl::GetText(const std::string& code, std::string& text) const {
    std::map<std::string, std::string>::const_iterator it = texts_.find(code);
    if (it == texts_.end()) {
        return 2;
    }
    text = it->second;
    return 0;
}

uint32_t MultiLangStringImpl::GetLocalizedText(const std::string& code, std::string& text) const {
    std::map<std::string, std::string>::const_iterator it = texts_.find(code);
    if (it != texts_.end()) {
        text = it->second;
        return 0;
    }
    if (texts_.empty()) {
        return 2;
    }
    it = texts_.find(vmi::Locale::FallbackCode());
    if (it == texts_.end() || it->second.empty()) {
        return 2;
    }
    text = it->second;
    return 0;
}

uint32_t MultiLangStringImpl::GetCount() const {
    return static_cast<uint32_t>(texts_.size());
}

bool MultiLangStringImpl::Add(const std::string& code, const std::string& text) {
    return texts_.insert(std::make_pair(code, text)).second;
}

std::string LocalizedOrEmpty(const boost::shared_ptr<vmi::IMultiLangString>& text,
                             const std::string& code) {
    std::string value;
    if (!text || text->GetLocalizedText(code, value) != 0) {
        return std::string();
    }
    return value;
}
