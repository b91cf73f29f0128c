// Substitutes of the manager's settings shim, clock and hint sender, and of a component and an
// update session, for tests that drive the component manager without a registry or network.
#pragma once

#include <ctime>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "api/IInstallHints.h"
#include "api/ISettings.h"
#include "api/ITime.h"
#include "engine/IInstallSession.h"
#include "support/FakeComponent.h"

namespace testsupport {

// Settings kept in memory: "Settings/" values by (key, name), installed keys, unique records.
class FakeSettings : public vcm::ISettings {
public:
    std::map<std::pair<std::string, std::string>, std::string> strings;
    std::map<std::pair<std::string, std::string>, uint32_t> numbers;
    std::set<std::string> installed;
    std::set<std::string> unique;
    bool failWrites = false;
    int writes = 0;

    bool IsInstalled(const std::string& key) override {
        return !key.empty() && installed.count(key) > 0;
    }
    bool ReadString(const std::string& key, const std::string& name, std::string& value) override {
        auto it = strings.find(std::make_pair(key, name));
        if (it == strings.end()) {
            return false;
        }
        value = it->second;
        return true;
    }
    bool ReadDword(const std::string& key, const std::string& name, uint32_t& value) override {
        auto it = numbers.find(std::make_pair(key, name));
        if (it == numbers.end()) {
            return false;
        }
        value = it->second;
        return true;
    }
    bool WriteDword(const std::string& key, const std::string& name, uint32_t value) override {
        ++writes;
        if (failWrites) {
            return false;
        }
        numbers[std::make_pair(key, name)] = value;
        return true;
    }
    bool WriteString(const std::string& key, const std::string& name,
                     const std::string& value) override {
        ++writes;
        if (failWrites) {
            return false;
        }
        strings[std::make_pair(key, name)] = value;
        return true;
    }
    bool IsUniqueInstallRecorded(const std::string& id) override { return unique.count(id) > 0; }
    bool RecordUniqueInstall(const std::string& id) override {
        if (unique.count(id) || !IsInstalled(id)) {
            return false;
        }
        unique.insert(id);
        return true;
    }
};

// A clock standing at a chosen local time.
class FakeTime : public vcm::ITime {
public:
    struct tm now = {};
    struct tm current = {};
    int calls = 0;

    // year as written (2026), month 1 to 12.
    void Set(int year, int month, int day, int hour, int minute, int second) {
        now = {};
        now.tm_year = year - 1900;
        now.tm_mon = month - 1;
        now.tm_mday = day;
        now.tm_hour = hour;
        now.tm_min = minute;
        now.tm_sec = second;
        now.tm_isdst = -1;
        std::mktime(&now);  // fills the day of week and the daylight-saving flag
    }
    struct tm* Now() override {
        ++calls;
        current = now;
        return &current;
    }
};

class FakePingSender : public vcm::IPingSender {
public:
    std::vector<std::pair<std::string, bool>> hints;
    std::vector<std::string> texts;
    bool SendText(const std::string& text) override {
        texts.push_back(text);
        return true;
    }
    bool SendComponentHint(const std::string& id, bool failed) override {
        hints.push_back(std::make_pair(id, failed));
        return true;
    }
};

// An update session whose states are played back one per poll.
class FakeSession : public vmi::IInstallSession {
public:
    std::deque<uint32_t> states;
    int polls = 0;
    uint32_t GetProgress(uint32_t& position, uint32_t& total, uint32_t& state) override {
        ++polls;
        position = 0;
        total = 0;
        state = states.empty() ? 2 : states.front();
        if (states.size() > 1) {
            states.pop_front();
        }
        return 0;
    }
    uint32_t GetCurrentComponent(vmi::ComponentPtr&) override { return 2; }
    uint32_t Cancel() override { return 0; }
    uint32_t GetCurrentComponentText(std::string&) override { return 2; }
    uint32_t GetStatusText(const std::string&, std::string&) override { return 2; }
    bool IsRebootRequired() override { return false; }
};

}  // namespace testsupport
