// Examining the files of a batch on a few threads, with the outcomes handed
// on in the files' own order.
#pragma once

#include "detection.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

// How many threads to examine `fileCount` files with. Waits on the disk
// overlap, so more threads than processors help when the cache is cold.
// `asked` (RunSettings::workers), when not 0, decides instead.
unsigned BatchWorkers(std::size_t fileCount, unsigned asked);

struct BatchResult {
    DetectionOutcome outcome;
    std::optional<DetectionBasis> basis;  // when asked for
};

// Calls take(i, result) for every file, i = 0, 1, 2, ... in order, on the
// calling thread; the files are examined by `workers` threads, each with its
// own reusable buffers, at most a bounded number ahead of `take`. When take
// returns false, no further file is handed on and the workers stop. Each
// run searches as `settings` say.
void ExamineInOrder(const SignatureTable& table, const std::vector<std::filesystem::path>& files, unsigned workers,
                    const RunSettings& settings, bool withBasis,
                    const std::function<bool(std::size_t, BatchResult&&)>& take);
