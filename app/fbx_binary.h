// Binary FBX node trees: a lenient reader (accepts nested lists that are not
// closed by a null record, as Assimp 5.2 writes them), a writer that closes
// every nested list and recomputes every end offset, and a strict checker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace syv::app {

struct FbxNode {
  std::string name;
  std::vector<std::string> properties;  // raw: type code followed by its payload
  std::vector<FbxNode> children;
};

struct FbxDocument {
  uint32_t version = 0;
  std::vector<FbxNode> nodes;
  std::string footerId;     // 16 bytes after the closing null record, if present
  std::string footerMagic;  // last 16 bytes of the file, if present
};

// Nesting deeper than this is refused rather than recursed into.
constexpr int kFbxMaxDepth = 64;

// False with a message when the bytes are not a binary FBX tree.
bool readFbxBinary(const std::string& bytes, FbxDocument& doc, std::string& error);

// Every nested list, and every node without properties, ends with a null record.
std::string writeFbxBinary(const FbxDocument& doc);

// Empty when every record lies inside its parent, every property and array
// has the size it declares, every non-empty nested list ends exactly with a
// null record and the top list is closed; otherwise the first fault found.
std::string checkFbxStructure(const std::string& bytes);

// readFbxBinary then writeFbxBinary.
bool rewriteFbxBinary(const std::string& in, std::string& out, std::string& error);

}  // namespace syv::app
