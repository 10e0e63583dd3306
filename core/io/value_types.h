// Value types shared by the record readers, and their readers. Every reader
// takes the trimmed value text of an attribute line or a sub-block node; none
// fails or logs: malformed parts read as 0.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/base/math.h"
#include "core/io/text_tree.h"

namespace syv {

// Three doubles, in the file as one brace group "{a, b, c}". Most triples hold
// a value with its lower and upper limit, hence the names.
struct Triple {
  double value = 0.0;
  double minimum = 0.0;
  double maximum = 0.0;

  Triple() = default;
  Triple(double v, double lo, double hi) : value(v), minimum(lo), maximum(hi) {}
  double operator[](int i) const { return i == 0 ? value : (i == 1 ? minimum : maximum); }
  bool operator==(const Triple& o) const {
    return value == o.value && minimum == o.minimum && maximum == o.maximum;
  }
  bool operator!=(const Triple& o) const { return !(*this == o); }
};

// An animatable linear parameter: "start, end, \"expression\", minimum, maximum".
struct LinearParameterRecord {
  double start = 0.0;
  double end = 0.0;
  std::string expression = "id";
  double minimum = 0.0;
  double maximum = 1.0;

  LinearParameterRecord() = default;
  LinearParameterRecord(double s, double e, std::string expr, double lo, double hi)
      : start(s), end(e), expression(std::move(expr)), minimum(lo), maximum(hi) {}
  bool operator==(const LinearParameterRecord& o) const {
    return start == o.start && end == o.end && expression == o.expression &&
           minimum == o.minimum && maximum == o.maximum;
  }
  bool operator!=(const LinearParameterRecord& o) const { return !(*this == o); }
};

// A vector with per-axis limits: "{x, xmin, xmax} {y, ymin, ymax} {z, zmin, zmax}".
struct VectorRange {
  Vector3 value;
  Vector3 minimum;
  Vector3 maximum;

  VectorRange() = default;
  VectorRange(const Vector3& v, const Vector3& lo, const Vector3& hi)
      : value(v), minimum(lo), maximum(hi) {}
  bool operator==(const VectorRange& o) const {
    return value == o.value && minimum == o.minimum && maximum == o.maximum;
  }
  bool operator!=(const VectorRange& o) const { return !(*this == o); }
};

// One knot of a curve or path: x, y, z in file order.
using Knot = Vector3;
// A sub-block "Size N" followed by N lines "x, y, z".
using KnotList = std::vector<Knot>;
// Names in byte-wise order, without duplicates.
using NameSet = std::set<std::string>;
// A 16-bit mask written as "0x" and hexadecimal digits.
using SwitchMask = uint16_t;

// 32-bit float colour, red, green and blue.
struct ColorRecord {
  float red = 0.0f;
  float green = 0.0f;
  float blue = 0.0f;

  ColorRecord() = default;
  ColorRecord(float r, float g, float b) : red(r), green(g), blue(b) {}
  bool operator==(const ColorRecord& o) const {
    return red == o.red && green == o.green && blue == o.blue;
  }
  bool operator!=(const ColorRecord& o) const { return !(*this == o); }
};

// Three comma-separated numbers inside the first brace group; a text without
// a brace group reads as three zeros, missing numbers as 0.
Triple readTriple(const std::string& text);

// Three comma-separated numbers without braces (missing ones 0), as the
// "Background" and colour lines write them.
Vector3 readBareTriple(const std::string& text);

// Fills up to five fields in order; an empty field ends the reading and
// returns false, keeping what was set so far. True after the fifth field.
bool readLinearParameter(const std::string& text, LinearParameterRecord& record);

// Three brace groups, one per axis; every part the text does not give is 0
// (the field's defaults are not kept).
VectorRange readVectorRange(const std::string& text);

// Empty unless the first line is "Size N" with N >= 1. Reads at most N knots
// and never more than the node's lines; memory grows with the knots that
// exist, never with N.
KnotList readKnotList(const TextNode& node);

// The quoted name of every line (the empty name for a line without quotes).
NameSet readNameSet(const TextNode& node);

// Every comma-separated token of every line as a mask, in file order.
std::vector<SwitchMask> readSwitchList(const TextNode& node);

// The lines "Scale", "Rotation" and "Translation" of a "Transform" block, each
// read with readVectorRange; other lines are ignored.
void readTransformBlock(const TextNode& node, VectorRange& scale, VectorRange& rotation,
                        VectorRange& translation);

// "0x" (lower-case x) and hexadecimal digits, modulo 2^16; anything else 0.
SwitchMask readSwitchMask(const std::string& token);

}  // namespace syv
