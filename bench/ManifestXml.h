// Generated manifests for the benchmarks: `count` realistic components (specs with roles, names
// in three languages, platform requirement, package, dependencies, progress text, resource
// reference) with their offer sections: one bundle per ten components (component references,
// a plug-in reference, a bundle group with texts, licence text and wizard layout), and per
// bundle a banner, a banner group, a message and a plug-in (names, package, progress texts, a
// plug-in test reference). The last bundle is "VomoUpdate". Component i offers the spec
// "capability<i>;runtime;1.0".
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace benchmanifest {

inline std::string ComponentXml(int i) {
    const std::string n = std::to_string(i);
    const std::string previous = std::to_string(i > 0 ? i - 1 : 0);
    return "  <component id=\"com.vomo.component" + n + "\" order=\"" + n +
           "\">\n"
           "   <isOptional>true</isOptional><isDefaultChecked>1</isDefaultChecked>\n"
           "   <installSize>" +
           std::to_string(1000 + i * 7) + "</installSize>\n   <latestVersion>2." +
           std::to_string(i % 100) + "." + std::to_string(i % 7) + "." + n +
           "</latestVersion>\n   <displayVersion>2." + std::to_string(i % 100) +
           "</displayVersion>\n"
           "   <specs>\n"
           "    <spec name=\"capability" +
           n +
           "\" version=\"1.0\"><role cost=\"1\">runtime</role><role>sdk</role></spec>\n"
           "    <spec name=\"shared.media\" version=\"2\"><role>plugin</role></spec>\n"
           "   </specs>\n"
           "   <nameGroup>\n"
           "    <name lang=\"en-us\">Vomo Component " +
           n + "</name>\n    <name lang=\"de-de\">Vomo Komponente " + n +
           "</name>\n    <name lang=\"fr-fr\">Composant Vomo " + n +
           "</name>\n"
           "   </nameGroup>\n"
           "   <requirements><os cpu=\"x86\" version=\"2.6\" "
           "condition=\"equalorgreaterthan\"/></requirements>\n"
           "   <package><type>nsis</type><commandLineArgs>/S /NCRC</commandLineArgs>\n"
           "    <url>http://download.vomo.example/components/" +
           n +
           "/setup.cab</url></package>\n"
           "   <dependencies><componentRef id=\"com.vomo.component" +
           previous +
           "\"/><componentRef id=\"com.vomo.runtime\"/></dependencies>\n"
           "   <progressTexts><progressText session=\"install\"><text lang=\"en-us\">Installing "
           "component " +
           n +
           "</text></progressText></progressTexts>\n"
           "   <resourceRef id=\"icon" +
           n + "\"/>\n  </component>\n";
}

// The offer sections of a manifest of `count` components.
inline std::string OfferXml(int count) {
    const int bundles = count / 10;
    std::string tests = " <pluginTestDefinitions>\n";
    for (int i = 0; i < bundles / 10 + 1; ++i) {
        const std::string n = std::to_string(i);
        tests += "  <pluginTest id=\"test" + n + "\" status=\"on\"><trackingId>T" + n +
                 "</trackingId><testPercentage>25</testPercentage>"
                 "<supportedLangs><lang>en-us</lang><lang>de-de</lang></supportedLangs>"
                 "<testPlugin><pluginRef id=\"plugin" +
                 n + "\">a</pluginRef></testPlugin></pluginTest>\n";
    }
    tests += " </pluginTestDefinitions>\n";
    std::string plugins = " <pluginDefinitions>\n";
    std::string banners = " <bannerDefinitions>\n";
    std::string messages = " <messageDefinitions>\n";
    std::string definitions = " <bundleDefinitions>\n";
    std::string groups =
        " <bundleGroups>\n  <marketingBundleVersion>2024.2</marketingBundleVersion>\n";
    std::string bannerGroups = " <bannerGroups>\n";
    for (int i = 0; i < bundles; ++i) {
        const std::string n = std::to_string(i);
        plugins += "  <plugin id=\"plugin" + n + "\"><priority>" + std::to_string(i % 7) +
                   "</priority><reportid>r" + n +
                   "</reportid>\n   <displayNameGroup><name lang=\"en-us\">Plug-in " + n +
                   "</name><name lang=\"de-de\">Erweiterung " + n +
                   "</name></displayNameGroup>\n   <sourceUrl>http://plugins.vomo.example/" + n +
                   "</sourceUrl><requiresInetConnect>1</requiresInetConnect>\n"
                   "   <package><type>nsis</type><commandLineArgs>/S</commandLineArgs>"
                   "<url>http://plugins.vomo.example/" +
                   n +
                   ".cab</url></package>\n   <progressTexts><progressText session=\"download\">"
                   "<text lang=\"en-us\">Downloading</text></progressText><progressText "
                   "session=\"install\"><text lang=\"en-us\">Installing</text></progressText>"
                   "</progressTexts>\n   <pluginTests status=\"on\"><pluginTestRef id=\"test" +
                   std::to_string(i / 10) + "\"/></pluginTests>\n  </plugin>\n";
        banners += "  <banner id=\"banner" + n + "\"><url lang=\"en-us\">http://b.example/" + n +
                   ".png</url><url lang=\"de-de\">http://b.example/de/" + n +
                   ".png</url><duration>2.5</duration></banner>\n";
        messages += "  <message id=\"message" + n + "\"><text lang=\"en-us\">Message " + n +
                    "</text><text lang=\"de-de\">Nachricht " + n + "</text></message>\n";
        definitions += "  <bundle id=\"" +
                       (i == bundles - 1 ? std::string("VomoUpdate") : "bundle" + n) +
                       "\" bundleGroup=\"group" + n + "\">\n";
        for (int c = i * 10; c < i * 10 + 10; ++c) {
            definitions += "   <componentRef id=\"com.vomo.component" + std::to_string(c) +
                           "\" order=\"" + std::to_string(c % 10) + "\"/>\n";
        }
        definitions += "   <pluginRef id=\"plugin" + n + "\"/><pluginRef id=\"plugin" +
                       std::to_string(i / 2) + "\"/>\n  </bundle>\n";
        groups += "  <bundleGroup id=\"group" + n +
                  "\"><descriptionGroup><heading lang=\"en-us\">Suite " + n +
                  "</heading><description lang=\"en-us\">The suite " + n +
                  "</description></descriptionGroup><uninstallerNameGroup><name "
                  "lang=\"en-us\">Suite " +
                  n + "</name></uninstallerNameGroup><eulaRef id=\"eula" + std::to_string(i % 10) +
                  "\"/><postInstallUrl>http://s.example/" + n +
                  "</postInstallUrl><wizardLayoutRef id=\"layout" + std::to_string(i % 10) +
                  "\"/></bundleGroup>\n";
        bannerGroups += "  <bannerGroup distributorId=\"d" + n + "\"><bannerRef id=\"banner" + n +
                        "\"/><bannerRef id=\"banner" + std::to_string((i + 1) % bundles) +
                        "\"/></bannerGroup>\n";
    }
    std::string eulas = " <eulaDefinitions>\n";
    std::string layouts = " <wizardLayoutDefinitions>\n";
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        eulas += "  <eula id=\"eula" + n + "\"><version>1.0.0." + n +
                 "</version><url lang=\"en-us\">http://l.example/" + n + "</url></eula>\n";
        layouts += "  <wizardLayout id=\"layout" + n + "\">";
        for (int p = 0; p < 5; ++p) {
            layouts += "<page id=\"page" + std::to_string(p) + "\"><insertAfter>page" +
                       std::to_string(p - 1) + "</insertAfter><rule>always</rule></page>";
        }
        layouts += "</wizardLayout>\n";
    }
    return eulas + " </eulaDefinitions>\n" + tests + plugins + " </pluginDefinitions>\n" + banners +
           " </bannerDefinitions>\n" + messages + " </messageDefinitions>\n" + definitions +
           " </bundleDefinitions>\n" + groups + " </bundleGroups>\n" + layouts +
           " </wizardLayoutDefinitions>\n" + bannerGroups + " </bannerGroups>\n";
}

// Generated files, removed when the program ends.
struct Files : std::map<int, std::string> {
    ~Files() {
        for (const auto& entry : *this) {
            unlink(entry.second.c_str());
        }
    }
};

// The manifest of `count` components, written once per process.
inline const std::string& ManifestFile(int count) {
    static Files files;
    std::map<int, std::string>::const_iterator it = files.find(count);
    if (it != files.end()) {
        return it->second;
    }
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/vcm-bench-XXXXXX";
    const int fd = mkstemp(&path[0]);
    if (fd < 0) {
        std::abort();
    }
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest version=\"4.2.0.17\">\n"
        " <componentDefinitions>\n";
    for (int i = 0; i < count; ++i) {
        xml += ComponentXml(i);
    }
    xml +=
        " </componentDefinitions>\n"
        " <resourceDefinitions><resource id=\"icon0\"><tag>i</tag><resid>1</resid>"
        "<type>ico</type></resource></resourceDefinitions>\n" +
        OfferXml(count) + "</manifest>\n";
    if (write(fd, xml.data(), xml.size()) != static_cast<ssize_t>(xml.size())) {
        std::abort();
    }
    close(fd);
    return files[count] = path;
}

}  // namespace benchmanifest
