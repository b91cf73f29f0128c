#pragma once

#include <map>
#include <string>

#include <boost/shared_ptr.hpp>

#include "engine/IMultiLangString.h"

class MultiLangStringImpl : public vmi::IMultiLangString {
public:
    uint32_t GetText(const std::string& code, std::string& text) const override;
    uint32_t GetLocalizedText(const std::string& code, std::string& text) const override;
    uint32_t GetCount() const override;

    // Stores `text` under `code` unless the code is present already: the first text wins.
    bool Add(const std::string& code, const std::string& text);

private:
    std::map<std::string, std::string> texts_;
};

// The text of `text` for `code`, or the fallback language's when it lacks that one (as
// GetLocalizedText answers); empty for a null text or one with neither.
std::string LocalizedOrEmpty(const boost::shared_ptr<vmi::IMultiLangString>& text,
                             const std::string& code);
