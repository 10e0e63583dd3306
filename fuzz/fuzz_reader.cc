// Arbitrary bytes through the text tree reader, every value reader, and the
// record readers for "Struct" and key-frame blocks.
#include <cstddef>
#include <cstdint>
#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "core/io/component_record.h"
#include "core/io/key_frame.h"
#include "core/io/text_tree.h"
#include "core/io/value_types.h"

namespace {

using fuzz::check;

void readValues(const std::string& line) {
  std::string key, value;
  syv::splitKeyValue(line, key, value);
  check(key.find(' ') == std::string::npos);
  syv::readNumber(value);
  syv::readInteger(value);
  syv::readShortInteger(value);
  syv::readBoolean(value);
  syv::readQuotedName(value);
  syv::readTriple(value);
  syv::readBareTriple(value);
  syv::LinearParameterRecord record;
  syv::readLinearParameter(value, record);
  syv::readVectorRange(value);
  syv::readSwitchMask(value);
  std::string text = value;
  syv::braceGroup(text);
  syv::quotedText(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  syv::TextNode root;
  syv::readTextTree(in, root);

  // Visit the tree without recursion; the input may nest deeply.
  std::vector<const syv::TextNode*> pending{&root};
  std::size_t visited = 0;
  while (!pending.empty() && visited < 4096) {
    const syv::TextNode* node = pending.back();
    pending.pop_back();
    ++visited;
    for (const std::string& line : node->lines) readValues(line);
    const syv::KnotList knots = syv::readKnotList(*node);
    check(knots.size() <= node->lines.size());
    syv::readNameSet(*node);
    syv::readSwitchList(*node);
    // Every block is read as each record kind: names are only matched by the
    // callers, so this reaches all record code from any input.
    const syv::ComponentRecord record = syv::readComponentRecord(node->depth, *node);
    syv::KeyFrameRecord frame = syv::readKeyFrame(node->depth, *node);
    syv::readModel(node->depth, *node, &frame);
    check(!std::isnan(frame.time));
    syv::KeyFrameTable table;
    syv::storeKeyFrame(table, frame);
    for (const auto& child : node->children) {
      check(child.second.depth == node->depth + 1);
      pending.push_back(&child.second);
    }
  }
  return 0;
}
