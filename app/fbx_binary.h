// Binary FBX node trees: a lenient reader (accepts nested lists that are not
// closed by a null record, as Assimp 5.2 writes them), a writer that closes
// every nested list and recomputes every end offset, and a strict checker.
#pragma once

#include <cstdint>
#include <functional>
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

class SpooledFile;

// Where a file is written: whole into `bytes`, or with a spool in pieces
// (what is in `bytes` goes to the spool whenever it grows large).
class FbxOut {
 public:
  explicit FbxOut(SpooledFile* spool = nullptr) : spool_(spool) {}
  std::string bytes;  // not yet handed to the spool
  size_t pos() const { return base_ + bytes.size(); }
  // Little-endian `v` in `width` bytes at `at`, which is written already.
  void put(size_t at, uint64_t v, int width);
  // `n` bytes more, to be filled before anything else is appended.
  char* grow(size_t n);
  void spill();  // hands the bytes on when they are many
  void finish();

 private:
  SpooledFile* spool_;
  size_t base_ = 0;
};

// Writes a whole node record itself, instead of the tree's, when it returns true:
// so that big arrays go straight into the file rather than through a node.
using FbxNodeWriter = std::function<bool(const FbxNode& node, int offsetWidth, FbxOut& out)>;

// Every nested list, and every node without properties, ends with a null record.
// `reserve` is the expected size, so that a big file is not copied as it grows.
std::string writeFbxBinary(const FbxDocument& doc, const FbxNodeWriter& writer = nullptr,
                           size_t reserve = 0);
void writeFbxBinary(const FbxDocument& doc, const FbxNodeWriter& writer, FbxOut& out);

// One node record appended to `out`: properties, then optionally children
// (other records appended between children() and end()).
class FbxRecord {
 public:
  FbxRecord(FbxOut& out, int offsetWidth, const std::string& name);
  void raw(const std::string& property) { out_.bytes += property; ++count_; }
  // The head of an uncompressed array of `count` elements of `size` bytes; its
  // payload follows, appended before anything else.
  void array(char type, size_t count, size_t size);
  void children();
  void end();

 private:
  void closeProperties();
  FbxOut& out_;
  int width_;
  size_t at_, propStart_;
  size_t count_ = 0;
  bool nested_ = false;
};

// Empty when every record lies inside its parent, every property and array
// has the size it declares, every non-empty nested list ends exactly with a
// null record and the top list is closed; otherwise the first fault found.
std::string checkFbxStructure(const std::string& bytes);

// readFbxBinary then writeFbxBinary.
bool rewriteFbxBinary(const std::string& in, std::string& out, std::string& error);

}  // namespace syv::app
