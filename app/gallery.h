// One static page for a batch: each plant's picture, name, triangles,
// materials, warnings and a link to its output. Plain HTML and CSS with a few
// lines of inline script for sorting; nothing is fetched from a network.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace syv::app {

// `records` are manifest records (input, output, preview, status, error,
// statistics). Links are relative to the page's folder.
bool writeGallery(const std::string& pagePath, const std::vector<nlohmann::json>& records,
                  std::string& error);

}  // namespace syv::app
