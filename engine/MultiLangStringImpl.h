#pragma once

#include <map>
#include <string>

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
