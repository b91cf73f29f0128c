#include "offers/OfferTexts.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include <boost/make_shared.hpp>

#include "engine/IMultiLangString.h"
#include "engine/Locale.h"
#include "engine/ManifestQuery.h"
#include "engine/MultiLangStringImpl.h"

namespace {

typedef boost::shared_ptr<vmi::IMultiLangString> Text;

uint32_t Localized(const Text& text, const std::string& code, std::string& out) {
    std::string found;
    if (!text || text->GetLocalizedText(code, found) != 0) {
        return 2;
    }
    out = found;
    return 0;
}

// The attribute "id" of the element itself and the multi-language text at `path` below it.
void ReadIdAndText(const TiXmlNode* node, const char* self, const char* path, std::string& id,
                   Text& text) {
    std::string value;
    if (QueryAttribute(node, self, "id", value)) {
        id = value;
    }
    Text found;
    if (QueryMultiLangString(node, path, found)) {
        text = found;
    }
}

class BannerImpl : public vmi::IBanner {
public:
    BannerImpl() = default;
    BannerImpl(const std::string& id, const Text& url, float seconds)
        : id_(id), url_(url), seconds_(seconds) {}

    void Read(const TiXmlNode* node) {
        ReadIdAndText(node, "self::banner", "//url", id_, url_);
        std::string text;
        if (QueryText(node, "//duration", text)) {
            seconds_ = ParseBannerSeconds(text);
        }
    }

    uint32_t GetId(std::string& id) override {
        id = id_;
        return 0;
    }
    uint32_t GetLocalizedUrl(const std::string& code, std::string& url) override {
        return Localized(url_, code, url);
    }
    uint32_t GetDisplayDuration(float& seconds) override {
        seconds = seconds_;
        return 0;
    }

private:
    std::string id_;
    Text url_;
    float seconds_ = kDefaultBannerSeconds;
};

class MessageImpl : public vmi::IMessage {
public:
    void Read(const TiXmlNode* node) { ReadIdAndText(node, "self::message", "//text", id_, text_); }

    uint32_t GetId(std::string& id) override {
        id = id_;
        return 0;
    }
    uint32_t GetLocalizedText(const std::string& code, std::string& text) override {
        return Localized(text_, code, text);
    }

private:
    std::string id_;
    Text text_;
};

class EulaImpl : public vmi::IEula {
public:
    void Read(const TiXmlNode* node) {
        ReadIdAndText(node, "self::eula", "//url", id_, url_);
        std::string text;
        if (QueryText(node, "//version", text)) {
            version_.Parse(text);
        }
    }

    uint32_t GetId(std::string& id) override {
        id = id_;
        return 0;
    }
    uint32_t GetVersion(Version& version) override {
        version = version_;
        return 0;
    }
    uint32_t GetLocalizedUrl(const std::string& code, std::string& url) override {
        return Localized(url_, code, url);
    }

private:
    std::string id_;
    Version version_;
    Text url_;
};

}  // namespace

// std::from_chars reads numbers as strtod does in the "C" locale, whatever locale the host set,
// but takes neither leading blanks, nor a "+", nor the "0x" of a hexadecimal number: those are
// read here first.
float ParseBannerSeconds(const std::string& text) {
    const char* at = text.c_str();
    const char* const end = at + text.size();
    while (at < end && *at != '\0' && std::strchr(" \t\n\v\f\r", *at)) {
        ++at;
    }
    if (at < end && (*at == '+' || *at == '-')) {
        if (*at == '-') {
            return 0;  // a negative duration, or none: both show nothing
        }
        ++at;
    }
    std::chars_format format = std::chars_format::general;
    if (end - at > 2 && at[0] == '0' && (at[1] == 'x' || at[1] == 'X') &&
        (std::isxdigit(static_cast<unsigned char>(at[2])) ||
         (at[2] == '.' && end - at > 3 && std::isxdigit(static_cast<unsigned char>(at[3]))))) {
        format = std::chars_format::hex;
        at += 2;
    }
    double value = 0;
    const std::from_chars_result read = std::from_chars(at, end, value, format);
    if (read.ec != std::errc() || !std::isfinite(value) || value < 0 ||
        value > std::numeric_limits<float>::max()) {
        return 0;  // not a number, out of range, infinite or too large for a float
    }
    return static_cast<float>(value);
}

boost::shared_ptr<vmi::IBanner> CreateBanner(const TiXmlNode* node) {
    boost::shared_ptr<BannerImpl> banner = boost::make_shared<BannerImpl>();
    banner->Read(node);
    return banner;
}

boost::shared_ptr<vmi::IMessage> CreateMessage(const TiXmlNode* node) {
    boost::shared_ptr<MessageImpl> message = boost::make_shared<MessageImpl>();
    message->Read(node);
    return message;
}

boost::shared_ptr<vmi::IEula> CreateEula(const TiXmlNode* node) {
    boost::shared_ptr<EulaImpl> eula = boost::make_shared<EulaImpl>();
    eula->Read(node);
    return eula;
}

boost::shared_ptr<vmi::IBanner> CreateStoredBanner(const std::string& id, const std::string& locale,
                                                   const std::string& url, float seconds) {
    boost::shared_ptr<MultiLangStringImpl> text = boost::make_shared<MultiLangStringImpl>();
    text->Add(locale.empty() ? vmi::Locale::FallbackCode() : locale, url);
    return boost::make_shared<BannerImpl>(id, text, seconds);
}
