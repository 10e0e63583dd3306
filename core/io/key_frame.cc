#include "core/io/key_frame.h"

#include <utility>

namespace syv {

KeyFrameRecord readKeyFrame(uint32_t depth, const TextNode& node) {
  KeyFrameRecord record;
  std::string key, value;
  for (const std::string& line : node.lines) {
    splitKeyValue(line, key, value);
    if (key == "Name") {
      record.name = quotedText(value);
    } else if (key == "Time") {
      record.timeText = value;
      record.time = readNumber(value);
    }
  }
  for (const auto& [name, child] : node.children) {
    if (name == "Model") readModel(depth + 1, child, &record);
  }
  return record;
}

bool readModel(uint32_t depth, const TextNode& node, KeyFrameRecord* record) {
  if (record == nullptr) return false;
  for (const auto& [name, child] : node.children) {
    if (name != "Struct") continue;
    ComponentRecord component = readComponentRecord(depth + 1, child);
    std::string key = component.Name;
    record->components.insert_or_assign(std::move(key), std::move(component));
  }
  return true;
}

void storeKeyFrame(KeyFrameTable& table, KeyFrameRecord record) {
  const double time = record.time;
  table[time] = std::move(record);
}

}  // namespace syv
