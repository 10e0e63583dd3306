#include "app/gallery.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/output_files.h"
#include "app/textures.h"

namespace syv::app {

namespace {

using nlohmann::json;

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string link(const std::string& page, const std::string& file) {
  return escape(uriEncodePath(relativeTo(page, file)));
}

int channel(const json& v) {
  const double d = v.is_number() ? v.get<double>() : 0.5;
  return int(std::lround(std::fmin(1.0, std::fmax(0.0, d)) * 255));
}

// A member of a record that may come from an edited manifest: null when
// missing or when `j` is no object.
const json& field(const json& j, const char* key) {
  static const json none;
  return j.is_object() && j.contains(key) ? j[key] : none;
}

const char* kStyle = R"(<style>
body{font-family:sans-serif;margin:1em;background:#f4f4f2;color:#222}
.bar{margin-bottom:1em}.bar button{margin-right:.5em}
.grid{display:flex;flex-wrap:wrap;gap:1em}
.plant{background:#fff;border:1px solid #ccc;border-radius:4px;padding:.5em;width:260px}
.plant img{width:256px;height:auto;display:block;background:#ddd}
.plant h2{font-size:1em;margin:.3em 0;word-break:break-all}
.swatch{display:inline-block;width:.8em;height:.8em;border:1px solid #888;margin-right:.3em}
.failed{border-color:#c33}.warn{color:#a60;font-size:.85em}.err{color:#c33}
ul{margin:.2em 0;padding-left:1.2em;font-size:.85em}
</style>)";

const char* kScript = R"(<script>
function sortBy(key){var g=document.getElementById('plants');
var items=Array.prototype.slice.call(g.children);
items.sort(function(a,b){return key==='name'?a.dataset.name.localeCompare(b.dataset.name)
:Number(b.dataset.triangles)-Number(a.dataset.triangles);});
items.forEach(function(e){g.appendChild(e);});}
</script>)";

}  // namespace

bool writeGallery(const std::string& page, const std::vector<json>& records, std::string& error) {
  if (const std::string why = checkOutputFolder(page); !why.empty()) {
    error = page + ": " + why;
    return false;
  }
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<title>Plants</title>\n";
  html += kStyle;
  html += "\n</head><body>\n<h1>Plants</h1>\n<div class=\"bar\">Sort by "
          "<button id=\"by-name\" onclick=\"sortBy('name')\">name</button>"
          "<button id=\"by-size\" onclick=\"sortBy('triangles')\">size</button></div>\n"
          "<div class=\"grid\" id=\"plants\">\n";
  for (const json& r : records) {
    const std::string input = r.value("input", "");
    const std::string name = std::filesystem::path(input).stem().string();
    const bool failed = r.value("status", "") == "failed";
    const json& stats = field(r, "statistics");
    const size_t triangles =
        field(stats, "triangles").is_number_unsigned() ? stats["triangles"].get<size_t>() : 0;
    html += "<div class=\"plant" + std::string(failed ? " failed" : "") + "\" data-name=\"" +
            escape(name) + "\" data-triangles=\"" + std::to_string(triangles) + "\">\n";
    if (r.contains("preview") && r["preview"].is_string() &&
        std::filesystem::exists(r["preview"].get<std::string>()))
      html += "<img src=\"" + link(page, r["preview"]) + "\" alt=\"" + escape(name) + "\">\n";
    html += "<h2>" + escape(name) + "</h2>\n";
    if (failed) {
      html += "<p class=\"err\">" + escape(r["error"].is_string() ? r["error"].get<std::string>() : "failed") + "</p>\n</div>\n";
      continue;
    }
    html += "<div>" + std::to_string(triangles) + " triangles";
    if (r.contains("output") && r["output"].is_string())
      html += " &middot; <a href=\"" + link(page, r["output"]) + "\">" +
              escape(std::filesystem::path(r["output"].get<std::string>()).filename().string()) + "</a>";
    html += "</div>\n<ul>";
    if (field(stats, "materials").is_array()) {
      for (const json& m : stats["materials"]) {
        char colour[16] = "#808080";
        const json& d = field(m, "diffuse");
        if (d.is_array() && d.size() == 3)
          std::snprintf(colour, sizeof colour, "#%02x%02x%02x", channel(d[0]), channel(d[1]), channel(d[2]));
        const json& name = field(m, "name");
        const json& count = field(m, "triangles");
        html += "<li><span class=\"swatch\" style=\"background:" + std::string(colour) + "\"></span>" +
                escape(name.is_string() ? name.get<std::string>() : "") + " (" +
                std::to_string(count.is_number_unsigned() ? count.get<size_t>() : 0) + ")";
        if (field(m, "texture").is_string()) html += " " + escape(m["texture"].get<std::string>());
        html += "</li>";
      }
    }
    html += "</ul>\n";
    if (r.contains("warnings") && r["warnings"].is_array())
      for (const json& w : r["warnings"])
        if (w.is_string()) html += "<div class=\"warn\">" + escape(w.get<std::string>()) + "</div>\n";
    html += "</div>\n";
  }
  html += "</div>\n";
  html += kScript;
  html += "\n</body></html>\n";
  return writeFilesInPlace({{page, html}}, page, error);
}

}  // namespace syv::app
