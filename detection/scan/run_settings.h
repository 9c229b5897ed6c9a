// How a detection run may use the machine: which instructions its search
// uses, how many readers search one file, how many threads examine a batch.
// A program reads them once, at its edge, from the environment, and hands
// them down; a test builds the record it needs.
#pragma once

#include "scan/search_scanner.h"

struct RunSettings {
    // The highest instruction set the search may use; a level the processor
    // lacks is lowered to the best one it runs.
    ScanLevel scanLevel = ScanLevel::Avx2;
    // Readers of one file's searches, 1 or 2; 0 lets the run decide: two
    // for a large file, when the process may run on two processors.
    unsigned readers = 0;
    // Threads that examine a batch's files; 0 lets the batch decide by its size.
    unsigned workers = 0;
};

// The settings that KINDSNIFFER_SCAN_LEVEL and KINDSNIFFER_WORKERS ask for,
// given their values (null when unset): "plain" or "ssse3" lowers the scan
// level, a number from 1 sets the workers (at most 64). Anything else leaves
// the default.
RunSettings RunSettingsFrom(const char* scanLevel, const char* workers);

// The same, read from this process's environment.
RunSettings RunSettingsFromEnvironment();
