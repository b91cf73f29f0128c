// The names of the install area's keys ("Install/<name>" in the machine hive), read once for a
// run of many one-shot reads, most of them of keys that do not exist: the manifest load asks
// every component of the catalogue for a recorded stream id, and only the installed ones have a
// key. While a snapshot lives on a thread, the install area's reads of that thread
// (ReadInstallNumber, ReadInstallBool, ReadInstallString) answer false at once for a key name
// that had no key when the snapshot was taken, as if all of them had been read at that moment;
// every other read goes to the registry as before. A snapshot whose names cannot be read
// changes nothing. A snapshot taken while another lives stands in for it until it ends; a
// thread's snapshot serves that thread only.
#pragma once

#include <set>
#include <string>

namespace vmds {

class InstallKeySnapshot {
public:
    InstallKeySnapshot();
    ~InstallKeySnapshot();
    InstallKeySnapshot(const InstallKeySnapshot&) = delete;
    InstallKeySnapshot& operator=(const InstallKeySnapshot&) = delete;

    // True when the thread's snapshot says that "Install/" + `key` had no key.
    static bool KnownMissing(const std::string& key);

private:
    bool valid_ = false;
    std::set<std::u16string> folded_;  // the key names, folded as the registry compares them
    InstallKeySnapshot* previous_ = nullptr;
};

}  // namespace vmds
