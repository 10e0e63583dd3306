#include "core/io/primitive_record.h"

namespace syv {

namespace {

ColorRecord readColor(const std::string& value) {
  const Vector3 v = readBareTriple(value);
  return ColorRecord(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

}  // namespace

bool readPrimitiveRecord(uint32_t /*depth*/, const TextNode& node, PrimitiveRecord& record) {
  std::string key, value;
  for (const std::string& line : node.lines) {
    splitKeyValue(line, key, value);
    if (key == "Type") record.Type = readQuotedName(value);
    else if (key == "Points") record.Points = readNumber(value);
    else if (key == "Separator") record.Separator = readBoolean(value);
    else if (key == "Deformable") record.Deformable = readBoolean(value);
    else if (key == "Resolution") record.Resolution = readNumber(value);
    else if (key == "Displace") readLinearParameter(value, record.Displace);
    else if (key == "TorusMinor") record.TorusMinor = readTriple(value);
    else if (key == "Color") record.Color = readQuotedName(value);
    else if (key == "Texture") record.Texture = readQuotedName(value);
    else if (key == "Texture_File") record.Texture_File = readQuotedName(value);
    else if (key == "Texture_Handler") record.Texture_Handler = readInteger(value);
    else if (key == "Texture_Mode") record.Texture_Handler = 0;
    else if (key == "Texture_ScaleS") record.Texture_ScaleS = readTriple(value);
    else if (key == "Texture_ScaleT") record.Texture_ScaleT = readTriple(value);
    else if (key == "Texture_ShiftS") record.Texture_ShiftS = readTriple(value);
    else if (key == "Texture_ShiftT") record.Texture_ShiftT = readTriple(value);
    else if (key == "Texture_Speed") record.Texture_Speed = readTriple(value);
    else if (key == "Alpha") record.Alpha = readTriple(value);
    else if (key == "Use_GFXColor") record.Use_GFXColor = true;
    else if (key == "Flat") record.Flat = true;
    else if (key == "ApplyProfil3D") record.ApplyProfil3D = true;
    else if (key == "ApplyProfil") record.ApplyProfil = true;
  }
  for (const auto& [name, child] : node.children) {
    if (name == "Transform") {
      readTransformBlock(child, record.Scale, record.Rotation, record.Translation);
    } else if (name == "GFXColor") {
      for (const std::string& line : child.lines) {
        splitKeyValue(line, key, value);
        if (key == "AMBIENT") record.Ambient = readColor(value);
        else if (key == "DIFFUSE") record.Diffuse = readColor(value);
        else if (key == "SPECULAR") record.Specular = readColor(value);
        else if (key == "EMISSION") record.Emission = readColor(value);
      }
    } else if (name == "Profil") {
      record.Profil = readKnotList(child);
    }
  }
  return true;
}

}  // namespace syv
