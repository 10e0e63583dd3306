#include "core/scene/file_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>

#include "core/components/limits.h"
#include "core/io/text_tree.h"
#include "core/scene/primitive_shapes.h"

namespace syv {

namespace {

struct Line {
  uint64_t no = 0;
  std::string text;
};

constexpr size_t kMaxCheckedBlocks = 1000000;

struct Block {
  std::string name;
  uint64_t line = 0;
  size_t parent = 0;
  std::vector<Line> lines;
  std::vector<size_t> children;
};

enum class Kind {
  Number, Integer, Triple, PlainTriple, Linear, Vectors, Quoted, TrueFlag, Presence, Text,
  Segments, Scale, NotInTree, Ignored
};

struct Key {
  const char* name;
  Kind kind;
};

const std::vector<Key> kRootKeys = {{"Version", Kind::Text}, {"Background", Kind::PlainTriple}};
const std::vector<Key> kQueueKeys = {{"Frames", Kind::Integer}};
const std::vector<Key> kKeyFrameKeys = {{"Name", Kind::Quoted}, {"Time", Kind::Number}};
const std::vector<Key> kStructKeys = {
    {"Name", Kind::Quoted},  {"Photo_Dir", Kind::Text}, {"Photo_Mode", Kind::Text},
    {"Photo", Kind::Triple}, {"Existence", Kind::Linear}, {"Hide", Kind::Presence},
    {"Reference", Kind::Presence}};
const std::vector<Key> kTransformKeys = {
    {"Scale", Kind::Vectors}, {"Rotation", Kind::Vectors}, {"Translation", Kind::Vectors}};
const std::vector<Key> kPrimitiveKeys = {
    {"Type", Kind::Quoted},          {"Points", Kind::Number},         {"Separator", Kind::TrueFlag},
    {"Deformable", Kind::TrueFlag},  {"Resolution", Kind::Number},     {"Displace", Kind::Linear},
    {"TorusMinor", Kind::Triple},    {"Color", Kind::Quoted},          {"Texture", Kind::Quoted},
    {"Texture_File", Kind::Quoted},  {"Texture_Handler", Kind::Integer}, {"Texture_Mode", Kind::Presence},
    {"Texture_ScaleS", Kind::Triple}, {"Texture_ScaleT", Kind::Triple}, {"Texture_ShiftS", Kind::Triple},
    {"Texture_ShiftT", Kind::Triple}, {"Texture_Speed", Kind::Triple}, {"Alpha", Kind::Triple},
    {"Use_GFXColor", Kind::Presence}, {"Flat", Kind::Presence},        {"ApplyProfil3D", Kind::Presence},
    {"ApplyProfil", Kind::Presence}};
const std::vector<Key> kColourKeys = {{"AMBIENT", Kind::PlainTriple}, {"DIFFUSE", Kind::PlainTriple},
                                      {"SPECULAR", Kind::PlainTriple}, {"EMISSION", Kind::PlainTriple},
                                      {"ALPHA", Kind::Ignored}};
const std::vector<Key> kKindKeys = {
    {"Segments", Kind::Segments}, {"Top", Kind::TrueFlag},        {"Scale", Kind::Scale},
    {"Shape", Kind::NotInTree},   {"Dense", Kind::NotInTree},     {"Steps", Kind::Linear},
    {"Flap", Kind::Linear},       {"Screw", Kind::Linear},        {"RotX", Kind::Linear},
    {"RotY", Kind::Linear},       {"RotZ", Kind::Linear},         {"TrX", Kind::Linear},
    {"TrY", Kind::Linear},        {"TrZ", Kind::Linear},          {"Smooth", Kind::Presence},
    {"Characteristic", Kind::Integer}, {"ApplyShape", Kind::Presence}, {"MoveScale", Kind::Number},
    {"Length", Kind::Triple},     {"Len", Kind::Triple},          {"Spline", Kind::Presence},
    {"Pairs", Kind::Integer},     {"Branch_Num", Kind::Triple},   {"KruschtlKnots", Kind::Triple},
    {"IniScale", Kind::Triple},   {"Version", Kind::Integer},     {"Number", Kind::Triple},
    {"Radius", Kind::Triple},     {"Influence", Kind::Triple},    {"Fan", Kind::Linear},
    {"Trans", Kind::Linear},      {"Angle", Kind::Linear},        {"Twist", Kind::Linear},
    {"Spin", Kind::Linear},       {"Translation", Kind::Triple},  {"Basis", Kind::Integer},
    {"Deform_Points", Kind::TrueFlag}, {"Separator", Kind::TrueFlag}};

const std::vector<std::string> kContainers = {"Queue", "Unit", "Entity", "KeySequence", "KeyFrame", "Model"};
const std::vector<std::string> kComponentKinds = {"Camera", "Horn", "Hydra", "HyperPatch", "Leaf",
                                                  "PhiBall", "Revo", "Tree", "Wreath"};
const std::vector<std::string> kKnotBlocks = {
    "Knots", "ShapeKnots", "Branchiness", "Shape", "Scale", "Deviate", "GeomScale", "Angle",
    "Screw", "Phototropism", "Gravitropism", "Kruschtl", "Dense", "Patch_Points"};

size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diag = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// A value that reads as 0 only because no number starts it.
bool notANumber(const std::string& text) {
  if (readNumber(text) != 0.0) return false;
  size_t i = 0;
  while (i < text.size() && isBlankChar(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i < text.size() && text[i] == '.') ++i;
  return !(i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])));
}

class Checker {
 public:
  explicit Checker(const TextLimits& limits) : limits_(limits) {}

  std::vector<FileFinding> findings;

  void add(uint64_t line, std::string text) { findings.push_back({line, std::move(text)}); }

  void read(std::istream& in) {
    blocks_.push_back({});
    size_t open = 0;
    std::string text;
    uint64_t no = 0;
    uint32_t depth = 0;
    bool endedAtRoot = false;
    while (std::getline(in, text)) {
      ++no;
      if (text.size() > limits_.maxLineLength) {
        add(no, "line longer than the reader takes; the rest of the file is not read");
        return;
      }
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (!text.empty() && text.front() == '\r') text.erase(0, 1);
      if (text.empty()) continue;
      if (endedAtRoot) {
        add(no, "after the closing brace that ended the file's top level: not read");
        return;
      }
      if (text.back() == '{') {
        // The import refuses such files anyway; checking them further would
        // only cost memory the import needs.
        if (depth >= limits_.maxDepth || blocks_.size() >= kMaxCheckedBlocks) {
          add(no, depth >= limits_.maxDepth
                      ? "blocks nested deeper than the reader takes; not checked further"
                      : "too many blocks to check; not checked further");
          return;
        }
        ++depth;
        std::string rest = text;
        Block child;
        child.name = popToken(rest, ' ');
        child.line = no;
        child.parent = open;
        blocks_.push_back(std::move(child));
        blocks_[open].children.push_back(blocks_.size() - 1);
        open = blocks_.size() - 1;
        continue;
      }
      if (text.back() == '}' &&
          std::count(text.begin(), text.end(), '}') > std::count(text.begin(), text.end(), '{')) {
        const size_t last = text.rfind('}');
        if (last > 0) blocks_[open].lines.push_back({no, text.substr(0, last)});
        if (open == 0) endedAtRoot = true;
        if (depth > 0) --depth;
        open = blocks_[open].parent;
        continue;
      }
      blocks_[open].lines.push_back({no, text});
    }
    for (size_t b = open; b != 0; b = blocks_[b].parent)
      add(blocks_[b].line, "block " + quoted(blocks_[b].name) +
                               " is never closed; it ends with the file");
  }

  void walk() {
    checkLines(0, kRootKeys, "the top-level lines");
    std::vector<size_t> stack(blocks_[0].children.rbegin(), blocks_[0].children.rend());
    while (!stack.empty()) {
      const size_t b = stack.back();
      stack.pop_back();
      const Block& block = blocks_[b];
      const std::string& n = block.name;
      if (n == "Queue" || n == "Unit" || n == "Entity" || n == "KeySequence") {
        checkLines(b, n == "Queue" ? kQueueKeys : std::vector<Key>{}, n);
        stack.insert(stack.end(), block.children.rbegin(), block.children.rend());
      } else if (n == "KeyFrame") {
        keyFrame(b);
      } else if (n == "Model") {
        frames_.push_back({0.0, {}});
        model(b);
      } else {
        unknownBlock(block, kContainers,
                     block.parent == 0 ? "at the top level" : "in " + blocks_[block.parent].name);
      }
    }
    links();
  }

 private:
  struct Record {
    uint64_t line = 0;
    std::string kind = "Simple";
    std::vector<std::pair<std::string, uint64_t>> links;  // children, branches, ribs
    bool named = false;  // by another record's links
    int state = 0;       // of the cycle walk: 0 unseen, 1 on the path, 2 done
  };
  struct Frame {
    double time = 0.0;
    std::map<std::string, Record> records;
  };

  TextLimits limits_;
  std::vector<Block> blocks_;
  std::vector<Frame> frames_;

  void unknownBlock(const Block& block, const std::vector<std::string>& known, const std::string& where) {
    std::string text = "unknown block " + quoted(block.name) + " " + where + " is ignored";
    if (!block.name.empty() && block.name.back() == '{')
      text = "block " + quoted(block.name) + " has no blank before its brace, so its name holds the brace; ignored";
    else if (const std::string near = nearestName(block.name, known); !near.empty())
      text += " (did you mean " + quoted(near) + "?)";
    add(block.line, text);
  }

  void keyFrame(size_t b) {
    frames_.push_back({0.0, {}});
    checkLines(b, kKeyFrameKeys, "KeyFrame");
    for (const Line& l : blocks_[b].lines) {
      std::string key, value;
      splitKeyValue(l.text, key, value);
      if (key == "Time") frames_.back().time = readNumber(value);
    }
    for (size_t c : blocks_[b].children) {
      if (blocks_[c].name == "Model") model(c);
      else unknownBlock(blocks_[c], {"Model"}, "in KeyFrame");
    }
  }

  void model(size_t b) {
    for (const Line& l : blocks_[b].lines) add(l.no, "line in Model is not read (only Struct blocks are)");
    for (size_t c : blocks_[b].children) {
      if (blocks_[c].name == "Struct") record(c);
      else unknownBlock(blocks_[c], {"Struct"}, "in Model");
    }
  }

  void record(size_t b) {
    const Block& block = blocks_[b];
    checkLines(b, kStructKeys, "Struct");
    std::string name;
    bool named = false;
    for (const Line& l : block.lines) {
      std::string key, value;
      splitKeyValue(l.text, key, value);
      if (key == "Name") name = readQuotedName(value), named = true;
    }
    if (!named) add(block.line, "Struct without a Name line: stored under the empty name");
    Record rec;
    rec.line = block.line;
    static const std::vector<std::string> known = [] {
      std::vector<std::string> names = {"Children", "Primitive", "Transform", "Switch"};
      names.insert(names.end(), kComponentKinds.begin(), kComponentKinds.end());
      return names;
    }();
    for (size_t c : block.children) {
      const Block& child = blocks_[c];
      if (child.name == "Children") {
        nameSet(child, rec);
      } else if (child.name == "Primitive") {
        primitive(c);
      } else if (child.name == "Transform") {
        checkLines(c, kTransformKeys, "Transform");
        noBlocks(child);
      } else if (child.name == "Switch") {
        switchList(child);
      } else if (std::find(kComponentKinds.begin(), kComponentKinds.end(), child.name) !=
                 kComponentKinds.end()) {
        rec.kind = child.name;
        componentKind(c, rec);
      } else if (child.name == "Simple" && child.lines.empty() && child.children.empty()) {
        // Often written for the default kind; not read, but nothing is lost.
      } else {
        unknownBlock(child, known, "in Struct");
      }
    }
    auto& records = frames_.back().records;
    if (auto it = records.find(name); it != records.end())
      add(block.line, "record " + quoted(name) + " is defined again (first at line " +
                          std::to_string(it->second.line) + "); this one replaces it");
    records[name] = std::move(rec);
  }

  void primitive(size_t b) {
    checkLines(b, kPrimitiveKeys, "Primitive");
    for (size_t c : blocks_[b].children) {
      const Block& child = blocks_[c];
      if (child.name == "Transform") {
        checkLines(c, kTransformKeys, "Transform");
        noBlocks(child);
      } else if (child.name == "GFXColor") {
        checkLines(c, kColourKeys, "GFXColor");
        noBlocks(child);
      } else if (child.name == "Profil") {
        knotList(child);
      } else {
        unknownBlock(child, {"Transform", "GFXColor", "Profil"}, "in Primitive");
      }
    }
  }

  void componentKind(size_t b, Record& rec) {
    checkLines(b, kKindKeys, blocks_[b].name);
    static const std::vector<std::string> known = [] {
      std::vector<std::string> names = kKnotBlocks;
      names.insert(names.end(), {"Ribs", "Branches"});
      return names;
    }();
    for (size_t c : blocks_[b].children) {
      const Block& child = blocks_[c];
      if (child.name == "Ribs" || child.name == "Branches") nameSet(child, rec);
      else if (std::find(kKnotBlocks.begin(), kKnotBlocks.end(), child.name) != kKnotBlocks.end())
        knotList(child);
      else unknownBlock(child, known, "in " + blocks_[b].name);
    }
  }

  void noBlocks(const Block& block) {
    for (size_t c : block.children) unknownBlock(blocks_[c], {}, "in " + block.name);
  }

  void nameSet(const Block& block, Record& rec) {
    noBlocks(block);
    for (const Line& l : block.lines) {
      std::string rest = trimBlanks(l.text);
      if (std::count(rest.begin(), rest.end(), '"') < 2) {
        add(l.no, "name in " + block.name + " without double quotes reads as the empty name");
        rec.links.push_back({"", l.no});
        continue;
      }
      rec.links.push_back({quotedText(rest), l.no});
    }
  }

  void knotList(const Block& block) {
    noBlocks(block);
    if (block.lines.empty()) return;
    std::string key, value;
    splitKeyValue(block.lines[0].text, key, value);
    if (key != "Size") {
      add(block.lines[0].no, block.name + " does not begin with a Size line: it reads as an empty list");
      return;
    }
    const int32_t n = readInteger(value);
    const size_t given = block.lines.size() - 1;
    if (n >= 1 && size_t(n) > given)
      add(block.lines[0].no, block.name + ": Size " + std::to_string(n) + " but only " +
                                 std::to_string(given) + " knot lines follow");
    else if (given > size_t(std::max(n, 0)))
      add(block.lines[size_t(std::max(n, 0)) + 1].no,
          block.name + ": lines beyond Size " + std::to_string(n) + " are not read");
    for (size_t i = 1; i < block.lines.size() && i <= size_t(std::max(n, 0)); ++i) {
      std::string rest = block.lines[i].text;
      for (int k = 0; k < 3; ++k) {
        const std::string token = popToken(rest, ',');
        if (notANumber(token))
          add(block.lines[i].no, "knot value " + quoted(trimBlanks(token)) + " is not a number; it reads as 0");
      }
    }
  }

  void switchList(const Block& block) {
    noBlocks(block);
    for (const Line& l : block.lines) {
      std::string rest = l.text;
      while (!rest.empty()) {
        const std::string token = popToken(rest, ',');
        if (token.size() < 3 || token.compare(0, 2, "0x") != 0)
          add(l.no, "switch mask " + quoted(token) + " is not written 0x..., so it reads as 0");
      }
    }
  }

  void numbers(uint64_t line, const std::string& key, std::string text, int count) {
    for (int k = 0; k < count; ++k) {
      const std::string token = popToken(text, ',');
      if (notANumber(token))
        add(line, key + ": " + (token.empty() ? std::string("a missing number") : quoted(trimBlanks(token))) +
                      " reads as 0");
    }
  }

  void value(uint64_t line, const std::string& key, Kind kind, const std::string& v,
             const std::string& block) {
    std::string rest = v;
    switch (kind) {
      case Kind::Number:
      case Kind::Integer:
        if (notANumber(v)) add(line, key + ": " + quoted(v) + " is not a number; it reads as 0");
        break;
      case Kind::Segments:
        if (block == "Leaf") {
          value(line, key, Kind::Number, v, block);
          break;
        }
        [[fallthrough]];
      case Kind::Triple: {
        if (v.find('{') == std::string::npos || v.find('}') == std::string::npos) {
          add(line, key + " needs {value, minimum, maximum}; without braces it reads as 0, 0, 0");
          break;
        }
        numbers(line, key, braceGroup(rest), 3);
        if (key == "Segments" || key == "Branch_Num" || key == "Number") {
          std::string group = v;
          group = braceGroup(group);
          const double count = readNumber(popToken(group, ','));
          const double limit = key == "Segments" ? kMaxPathPoints : kMaxChildCount;
          if (count > limit || count < 0)
            add(line, key + " " + trimBlanks(v) + " is outside 0 to " + std::to_string(int64_t(limit)) +
                          " and will be clamped");
        }
        break;
      }
      case Kind::PlainTriple:
        numbers(line, key, rest, 3);
        break;
      case Kind::Linear: {
        for (int k = 0; k < 5; ++k) {
          std::string token = popToken(rest, ',');
          if (token.empty()) break;
          if (k == 2) {
            if (std::count(token.begin(), token.end(), '"') < 2)
              add(line, key + ": expression " + quoted(trimBlanks(token)) +
                            " is not in double quotes; it reads as empty");
          } else if (notANumber(token)) {
            add(line, key + ": " + quoted(trimBlanks(token)) + " reads as 0");
          }
        }
        break;
      }
      case Kind::Vectors: {
        for (int axis = 0; axis < 3; ++axis) {
          if (std::count(rest.begin(), rest.end(), '{') == 0) {
            add(line, key + " gives " + std::to_string(axis) +
                          " of the three {value, minimum, maximum} groups; the others read as 0, 0, 0");
            break;
          }
          numbers(line, key, braceGroup(rest), 3);
        }
        break;
      }
      case Kind::Quoted:
        if (std::count(v.begin(), v.end(), '"') < 2)
          add(line, key + ": " + quoted(v) + " is not in double quotes; it reads as empty");
        break;
      case Kind::TrueFlag:
        if (v != "TRUE" && v != "FALSE")
          add(line, key + ": " + quoted(v) + " reads as false (only TRUE sets it)");
        break;
      case Kind::Presence:
        if (v == "FALSE") add(line, key + " is set by its presence; FALSE does not clear it");
        break;
      case Kind::Scale:
        if (block == "Horn" || block == "PhiBall" || block == "Hydra") value(line, key, Kind::Linear, v, block);
        else value(line, key, Kind::Vectors, v, block);
        break;
      case Kind::NotInTree:
        if (block == "Tree") add(line, key + " as a line is ignored in a Tree block");
        else value(line, key, Kind::Linear, v, block);
        break;
      case Kind::Ignored:
        add(line, key + " has no effect in " + block);
        break;
      case Kind::Text:
        break;
    }
  }

  void checkLines(size_t b, const std::vector<Key>& keys, const std::string& where) {
    std::vector<std::string> names;  // for suggestions, made at the first unknown key
    std::map<std::string, uint64_t> seen;
    for (const Line& l : blocks_[b].lines) {
      std::string key, v;
      splitKeyValue(l.text, key, v);
      auto it = std::find_if(keys.begin(), keys.end(), [&](const Key& k) { return key == k.name; });
      if (it == keys.end()) {
        if (key.empty()) {
          add(l.no, "indented line in " + where + ": keys must start the line; ignored");
          continue;
        }
        std::string text = "unknown key " + quoted(key) + " in " + where + " is ignored";
        if (names.empty())
          for (const Key& k : keys) names.push_back(k.name);
        if (const std::string near = nearestName(key, names); !near.empty())
          text += " (did you mean " + quoted(near) + "?)";
        add(l.no, text);
        continue;
      }
      std::string field = key == "Len" ? "Length" : key;
      if (auto [s, fresh] = seen.try_emplace(field, l.no); !fresh)
        add(l.no, key + " is given again in " + where + " (first at line " +
                      std::to_string(s->second) + "); the later value wins");
      value(l.no, key, it->kind, v, where);
    }
  }

  void links() {
    if (frames_.empty()) {
      add(0, "no Model or KeyFrame block: the file holds no plant");
      return;
    }
    // The earliest frame builds the scene; a later one at the same time replaces it.
    size_t first = 0;
    for (size_t i = 1; i < frames_.size(); ++i)
      if (frames_[i].time <= frames_[first].time) first = i;
    auto& records = frames_[first].records;
    std::vector<std::string> names;  // for suggestions, made at the first unknown target
    for (const auto& [name, rec] : records)
      for (const auto& [target, line] : rec.links) {
        if (auto it = records.find(target); it != records.end()) {
          it->second.named = true;
          continue;
        }
        std::string text = quoted(name) + " names " + quoted(target) + ", which no record defines";
        if (names.empty())
          for (const auto& entry : records) names.push_back(entry.first);
        if (const std::string near = nearestName(target, names); !near.empty())
          text += " (did you mean " + quoted(near) + "?)";
        add(line, text);
      }
    // Cycles, found by an explicit depth-first walk.
    for (auto start = records.begin(); start != records.end(); ++start) {
      if (start->second.state) continue;
      std::vector<std::pair<decltype(start), size_t>> path = {{start, 0}};
      start->second.state = 1;
      while (!path.empty()) {
        auto& [node, next] = path.back();
        const auto& links = node->second.links;
        if (next >= links.size()) {
          node->second.state = 2;
          path.pop_back();
          continue;
        }
        const auto& [target, line] = links[next++];
        const auto found = records.find(target);
        if (found == records.end()) continue;
        if (found->second.state == 1) {
          std::string cycle;
          bool in = false;
          for (const auto& p : path) {
            in = in || p.first == found;
            if (in) cycle += quoted(p.first->first) + " -> ";
          }
          add(line, "cycle: " + cycle + quoted(target) + "; these records are never built");
        } else if (found->second.state == 0) {
          found->second.state = 1;
          path.push_back({found, 0});
        }
      }
    }
    bool anyRoot = false;
    for (const auto& [name, rec] : records) {
      if (rec.named) continue;
      anyRoot = true;
      if (rec.kind != "Camera")
        add(rec.line, quoted(name) + " is named by no Children, Branches or Ribs list: it is a "
                          "root with no Camera above it, so it and all below it make no geometry");
    }
    if (!anyRoot && !records.empty())
      add(0, "every record is some record's child: no root, the import fails");
  }
};

}  // namespace

std::string nearestName(const std::string& name, const std::vector<std::string>& known) {
  std::string best;
  size_t bestDistance = SIZE_MAX;
  for (const std::string& k : known) {
    const size_t d = editDistance(name, k);
    const size_t allowed = k.size() >= 8 ? 3 : k.size() >= 4 ? 2 : 1;
    if (d <= allowed && d < bestDistance) {
      best = k;
      bestDistance = d;
    }
  }
  return name == best ? std::string() : best;
}

std::vector<FileFinding> checkPlantText(std::istream& in, const TextLimits& limits) {
  Checker checker(limits);
  checker.read(in);
  checker.walk();
  return std::move(checker.findings);
}

std::vector<FileFinding> checkPlantFile(const std::string& fileName, const TextLimits& limits) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return {};
  return checkPlantText(in, limits);
}

}  // namespace syv
