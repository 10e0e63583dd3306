#include "core/io/value_types.h"

namespace syv {

namespace {

// Three comma-separated numbers of `text`; missing ones read as 0.
void readThreeNumbers(std::string text, double& a, double& b, double& c) {
  a = readNumber(popToken(text, ','));
  b = readNumber(popToken(text, ','));
  c = readNumber(popToken(text, ','));
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Triple readTriple(const std::string& text) {
  Triple triple;
  std::string rest = text;
  // Without a brace group the group is empty and every number reads as 0.
  readThreeNumbers(braceGroup(rest), triple.value, triple.minimum, triple.maximum);
  return triple;
}

Vector3 readBareTriple(const std::string& text) {
  Vector3 v;
  readThreeNumbers(text, v.x, v.y, v.z);
  return v;
}

bool readLinearParameter(const std::string& text, LinearParameterRecord& record) {
  std::string rest = text;
  for (int step = 0; step < 5; ++step) {
    std::string token = popToken(rest, ',');
    if (token.empty()) return false;
    switch (step) {
      case 0: record.start = readNumber(token); break;
      case 1: record.end = readNumber(token); break;
      case 2: record.expression = quotedText(token); break;
      case 3: record.minimum = readNumber(token); break;
      default: record.maximum = readNumber(token); break;
    }
  }
  return true;
}

VectorRange readVectorRange(const std::string& text) {
  VectorRange range;
  std::string rest = text;
  double* axes[3][3] = {
      {&range.value.x, &range.minimum.x, &range.maximum.x},
      {&range.value.y, &range.minimum.y, &range.maximum.y},
      {&range.value.z, &range.minimum.z, &range.maximum.z},
  };
  for (auto& axis : axes) readThreeNumbers(braceGroup(rest), *axis[0], *axis[1], *axis[2]);
  return range;
}

KnotList readKnotList(const TextNode& node) {
  KnotList knots;
  if (node.lines.empty()) return knots;
  std::string key, value;
  splitKeyValue(node.lines.front(), key, value);
  if (key != "Size") return knots;
  const int32_t count = readInteger(value);
  if (count < 1) return knots;
  // The count is only an upper bound: no memory is reserved from it.
  const std::size_t available = node.lines.size() - 1;
  const std::size_t wanted = static_cast<std::size_t>(count);
  const std::size_t last = wanted < available ? wanted : available;
  for (std::size_t i = 1; i <= last; ++i) {
    Knot knot;
    readThreeNumbers(node.lines[i], knot.x, knot.y, knot.z);
    knots.push_back(knot);
  }
  return knots;
}

NameSet readNameSet(const TextNode& node) {
  NameSet names;
  for (const std::string& line : node.lines) names.insert(readQuotedName(line));
  return names;
}

void readTransformBlock(const TextNode& node, VectorRange& scale, VectorRange& rotation,
                        VectorRange& translation) {
  std::string key, value;
  for (const std::string& line : node.lines) {
    splitKeyValue(line, key, value);
    if (key == "Scale") scale = readVectorRange(value);
    else if (key == "Rotation") rotation = readVectorRange(value);
    else if (key == "Translation") translation = readVectorRange(value);
  }
}

SwitchMask readSwitchMask(const std::string& token) {
  if (token.size() < 3 || token[0] != '0' || token[1] != 'x') return 0;
  uint32_t value = 0;
  for (std::size_t i = 2; i < token.size(); ++i) {
    const int digit = hexDigit(token[i]);
    if (digit < 0) break;
    value = ((value << 4) | static_cast<uint32_t>(digit)) & 0xFFFFu;
  }
  return static_cast<SwitchMask>(value);
}

std::vector<SwitchMask> readSwitchList(const TextNode& node) {
  std::vector<SwitchMask> masks;
  for (const std::string& line : node.lines) {
    std::string rest = line;
    while (!rest.empty()) masks.push_back(readSwitchMask(popToken(rest, ',')));
  }
  return masks;
}

}  // namespace syv
