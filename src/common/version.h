// Version numbers as the registry and the update script hold them.
#pragma once

#include <cstdint>

// Major x 1000 plus thousandths: 1020 is version 1.02. Compared unsigned.
using VersionNumber = uint32_t;

// Two versions given by one directive: the first for the standard edition,
// the second for the add-contents edition.
struct VersionPair {
    VersionNumber standard;     // standard edition
    VersionNumber addContents;  // add-contents edition
};

// The member of pair that applies to the edition chosen by the AddContents
// registry value (non-zero selects the add-contents edition).
inline VersionNumber ForEdition(const VersionPair& pair, uint32_t addContents) {
    return addContents != 0 ? pair.addContents : pair.standard;
}
