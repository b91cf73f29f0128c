// An engine over a manifest written to a file of the test's own: the offer and engine tests
// load a text, name the bundles to select, and read the catalogue back.
#pragma once

#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "engine/VomoInstallImpl.h"
#include "support/RecordingLog.h"
#include "support/TempDir.h"

namespace testsupport {

typedef std::vector<std::string> Strings;

inline Strings Ids(const vmi::ComponentList& components) {
    Strings ids;
    for (const vmi::ComponentPtr& component : components) {
        ids.push_back(component ? component->GetId() : std::string("(null)"));
    }
    return ids;
}

// "<manifest version='1.0.0.0'>" + sections + "</manifest>".
inline std::string ManifestXml(const std::string& sections) {
    return "<?xml version='1.0' encoding='UTF-8'?><manifest version='1.0.0.0'>" + sections +
           "</manifest>";
}

template <class Engine = VomoInstallImpl>
class ManifestEngine {
public:
    ManifestEngine()
        : dir_("vcm-engine"),
          engine(boost::make_shared<Engine>(Url("http://127.0.0.1:1/m.cab"), 0)),
          log(boost::make_shared<RecordingLog>()) {
        engine->SetEventLog(log);
    }

    // Writes `xml` as the manifest, points the engine at it and loads it with the bundles
    // `tag` and `second` selected; the load's result.
    uint32_t Load(const std::string& xml, const std::string& tag = "",
                  const std::string& second = "") {
        const std::string path = dir_.File("manifest.xml");
        WriteFile(path, xml);
        return LoadFile(path, tag, second);
    }
    uint32_t LoadFile(const std::string& path, const std::string& tag = "",
                      const std::string& second = "") {
        engine->SetManifestPath(Url::FromPath(path));
        engine->SetBundleNames(tag, second);
        return engine->LoadManifest();
    }

    vmi::ComponentPtr Component(const std::string& id) {
        vmi::ComponentPtr component;
        engine->GetComponent(id, component);
        return component;
    }

private:
    TempDir dir_;

public:
    boost::shared_ptr<Engine> engine;
    boost::shared_ptr<RecordingLog> log;
};

}  // namespace testsupport
