// Telling a signature author why a file was named as it was.
#pragma once

#include "detection.h"

#include <string>
#include <vector>

// Lines to show under a file's row in the table, without indentation.
std::vector<std::string> ExplainLines(DetectionState state, const DetectionBasis& basis);

// The JSON value of a file's "basis": null for a file that could not be read.
std::string ExplainJson(DetectionState state, const DetectionBasis& basis);
