// Key frames: named, timed sets of component records.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "core/io/component_record.h"
#include "core/io/text_tree.h"

namespace syv {

struct KeyFrameRecord {
  std::string name = "Key 1";
  double time = 0.0;
  std::string timeText = "0";
  // Keyed by the record's Name, byte-wise order.
  std::map<std::string, ComponentRecord> components;
};

// Key frames by time. Storing under a time already present replaces the
// stored record as a whole; times that compare equal are the same key.
using KeyFrameTable = std::map<double, KeyFrameRecord>;

// Reads "Name" and "Time" lines and the "Struct" blocks of every "Model"
// child of a "KeyFrame" node into a record that starts with the defaults.
KeyFrameRecord readKeyFrame(uint32_t depth, const TextNode& node);

// Adds every "Struct" child of a "Model" node to `record->components`, a later
// record replacing an earlier one of the same Name. False only when `record`
// is null.
bool readModel(uint32_t depth, const TextNode& node, KeyFrameRecord* record);

// table[record.time] = record. The reader never yields a NaN time.
void storeKeyFrame(KeyFrameTable& table, KeyFrameRecord record);

}  // namespace syv
