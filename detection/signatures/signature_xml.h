// Reading the signature document's elements, shared by the loader and the
// linter. Only their own sources include this: the parser stays a private
// dependency of each.
#pragma once

#include <tinyxml2.h>

#include "patterns/magic.h"
#include "files/platform_file.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// An element's text is its first child when that is a text node (plain or
// CDATA); anything else first, or no child, means no text.
std::optional<std::string> ElementText(const tinyxml2::XMLElement* element);

// Reads the file once (see ReadWholeFile; at most kMaxSignatureFileBytes)
// into `text` and parses it with the parser's defaults into `document`, whose
// result goes to `parsed`. On a parse error the document keeps the nodes
// parsed before it. Returns how the file was read; when it was not, the
// document is empty.
WholeFileResult LoadSignatureDocument(tinyxml2::XMLDocument& document, const std::filesystem::path& path,
                                      std::string& text, tinyxml2::XMLError& parsed);

// The patterns of a <type> element, parsed as the detection run reads them,
// each with its line.
std::vector<MagicRule> ReadTypeMagics(const tinyxml2::XMLElement* type);
