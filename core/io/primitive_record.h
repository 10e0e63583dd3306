// The "Primitive" block of a component: surface shape, colours, texture and
// texture mapping, its own placement and its profile curve.
#pragma once

#include <cstdint>
#include <string>

#include "core/io/text_tree.h"
#include "core/io/value_types.h"

namespace syv {

// Fields are named after their keys. Triples from Texture_ScaleS to Alpha hold
// a value with its lower and upper limit; colours are in [0, 1] as written.
struct PrimitiveRecord {
  std::string Type = "Undefined";
  double Points = 3.0;
  bool Separator = false;
  bool Deformable = true;
  double Resolution = 1.0;
  LinearParameterRecord Displace{0.0, 0.0, "rnd", -0.5, 0.5};
  Triple TorusMinor{static_cast<double>(0.2f), 0.0, 1.0};
  std::string Color;
  std::string Texture;
  std::string Texture_File = "Default";
  // The texture is applied only when this is 1; "Texture_Mode" sets it to 0.
  int32_t Texture_Handler = 2;
  Triple Texture_ScaleS{1.0, static_cast<double>(0.01f), 10.0};
  Triple Texture_ScaleT{1.0, static_cast<double>(0.01f), 10.0};
  Triple Texture_ShiftS{0.0, -10.0, 10.0};
  Triple Texture_ShiftT{0.0, -10.0, 10.0};
  Triple Texture_Speed{1.0, 0.0, 1.0};
  Triple Alpha{1.0, 0.0, 1.0};
  bool Use_GFXColor = false;
  bool Flat = false;
  bool ApplyProfil3D = false;
  bool ApplyProfil = false;

  // Sub-block "Transform".
  VectorRange Scale{{1, 1, 1}, {-1, -1, -1}, {20, 20, 20}};
  VectorRange Rotation{{0, 0, 0}, {-3.14159, -3.14159, -3.14159}, {3.14159, 3.14159, 3.14159}};
  VectorRange Translation{{0, 0, 0}, {-50, -50, -50}, {50, 50, 50}};

  // Sub-block "GFXColor"; used only when Use_GFXColor is set.
  ColorRecord Ambient{0.1f, 0.1f, 0.1f};
  ColorRecord Diffuse{0.5f, 0.5f, 0.5f};
  ColorRecord Specular{0.0f, 0.0f, 0.0f};
  ColorRecord Emission{0.0f, 0.0f, 0.0f};

  // Sub-block "Profil".
  KnotList Profil;
};

// Fills `record` (which holds its defaults or earlier values) from a
// "Primitive" node. `depth` is the node's nesting level and is not used.
// Always returns true.
bool readPrimitiveRecord(uint32_t depth, const TextNode& node, PrimitiveRecord& record);

}  // namespace syv
