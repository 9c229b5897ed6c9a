// Reading the signature document's elements, shared by the loader and the linter.
#pragma once

#include <tinyxml2.h>

#include <filesystem>
#include <optional>
#include <string>

// An element's text is its first child when that is a text node (plain or
// CDATA); anything else first, or no child, means no text.
std::optional<std::string> ElementText(const tinyxml2::XMLElement* element);

// Loads with the parser's defaults. Returns the parser's result; on a parse
// error the document keeps the nodes parsed before it.
tinyxml2::XMLError LoadSignatureDocument(tinyxml2::XMLDocument& document, const std::filesystem::path& path);
