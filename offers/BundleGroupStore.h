// The registry copy of an installed offer's bundle group, kept below
// "Install\Setup\BundleGroups\<GroupId>" in the machine part of the registry so that the offer
// can be shown without a manifest:
//   - the string values "MarketingBundleVersion", "BundleGroupHeading" and
//     "BundleGroupDescription" on the group's key;
//   - one key per banner placement,
//     "_private\BannerGroups\<DistributorId>\<BannerId>" below the group's key ("default"
//     stands for the empty distributor id, so a distributor of that name shares its key),
//     with the string values "Locale" and "Url" and "DisplayDuration", a REG_DWORD holding
//     the IEEE-754 bits of the duration in seconds.
// The group's member keys belong to the component registry (IComponentRegistry).
//
// Group, distributor and banner ids that would not name exactly one key (empty, or holding a
// path separator) are never used as key names: such a group is refused, such a placement is
// left out. Every call opens the keys it needs and releases them before it returns.
#pragma once

#include <string>

#include "offers/OfferSections.h"

struct StoredGroupTexts {
    std::string marketingBundleVersion;
    std::string heading;
    std::string description;
    // Which of the three values the registry holds.
    bool hasMarketingBundleVersion = false;
    bool hasHeading = false;
    bool hasDescription = false;
};

// Creates the group's key and writes the three values in that order; false when the key
// cannot be created or a value not written.
bool SaveBundleGroupTexts(const std::string& groupId, const StoredGroupTexts& texts);

// Reads the three values; false, with `texts` untouched, when the group's key cannot be read.
bool LoadBundleGroupTexts(const std::string& groupId, StoredGroupTexts& texts);

// Replaces the group's stored placements with `groups`: the earlier placements are removed
// first, so that banners the offer no longer shows do not linger. Each banner is stored with
// `locale` and its address in that language (empty when it has none). False when a key cannot
// be removed, created or written.
bool SaveBannerPlacements(const std::string& groupId, const BannerGroups& groups,
                          const std::string& locale);

// Adds the group's stored placements to `groups`, for distributor ids `groups` does not hold
// yet. The registry keeps no order: a distributor's banners come back in the order of their
// ids. A placement without "DisplayDuration" gets the default duration. False when the group
// has no placements that can be read.
bool LoadBannerPlacements(const std::string& groupId, BannerGroups& groups);
