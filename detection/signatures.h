// The signature file: an XML document of <dat><types><type>... elements, each
// type with its <magic> patterns, a <title> and its <ext> extensions.
#pragma once

#include "magic.h"

#include <filesystem>
#include <string>
#include <vector>

struct SignatureType {
    std::string title;                    // bytes as the file holds them
    std::vector<std::string> extensions;  // in document order, leading period included
    std::vector<MagicRule> magics;        // all must hold, but a search hit decides at once
};

struct SignatureTable {
    // False when the document could not be read or lacks <dat> or <types>:
    // then no file can be detected.
    bool usable = false;
    std::vector<SignatureType> types;  // in document order: the first match wins
};

// Loads and parses a signature file. A file that is missing, unreadable or
// empty gives an unusable table; one that is not well-formed keeps what was
// parsed before the error.
SignatureTable LoadSignatureTable(const std::filesystem::path& path);
