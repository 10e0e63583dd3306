#include "app/fbx_binary.h"

#include <cstring>

#include "app/output_files.h"

namespace syv::app {
namespace {

const char kMagic[] = "Kaydara FBX Binary  ";  // then 0x00 0x1a 0x00
constexpr size_t kHeaderSize = 27;

uint64_t readLE(const std::string& b, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | uint8_t(b[at + size_t(i)]);
  return v;
}

void putLE(std::string& b, size_t at, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + size_t(i)] = char((v >> (8 * i)) & 0xff);
}

void appendLE(std::string& b, uint64_t v, int width) {
  b.append(size_t(width), '\0');
  putLE(b, b.size() - size_t(width), v, width);
}

bool allZero(const std::string& b, size_t at, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (b[at + i] != 0) return false;
  return true;
}

struct Walker {
  const std::string& bytes;
  bool strict;
  int offsetWidth = 8;  // 4 before version 7500
  std::string error;

  size_t nullSize() const { return size_t(offsetWidth) * 3 + 1; }

  bool fail(const std::string& what, size_t at) {
    if (error.empty()) error = what + " at byte " + std::to_string(at);
    return false;
  }

  // One property starting at `at`, inside [at, limit); returns its size.
  bool property(size_t at, size_t limit, size_t& size) {
    if (at >= limit) return fail("property list overruns its record", at);
    const char type = bytes[at];
    const size_t avail = limit - at - 1;
    size_t payload = 0;
    switch (type) {
      case 'C': payload = 1; break;
      case 'Y': payload = 2; break;
      case 'I': case 'F': payload = 4; break;
      case 'D': case 'L': payload = 8; break;
      case 'S': case 'R':
        if (avail < 4) return fail("truncated string property", at);
        payload = 4 + size_t(readLE(bytes, at + 1, 4));
        break;
      case 'f': case 'i': case 'd': case 'l': case 'b': {
        if (avail < 12) return fail("truncated array property", at);
        const uint64_t count = readLE(bytes, at + 1, 4);
        const uint64_t encoding = readLE(bytes, at + 5, 4);
        const uint64_t stored = readLE(bytes, at + 9, 4);
        const uint64_t elem = (type == 'b') ? 1 : (type == 'd' || type == 'l') ? 8 : 4;
        if (strict && encoding > 1) return fail("unknown array encoding", at);
        if (strict && encoding == 0 && stored != count * elem)
          return fail("array size does not match its element count", at);
        payload = 12 + size_t(stored);
        break;
      }
      default:
        return fail(std::string("unknown property type '") + type + "'", at);
    }
    if (payload > avail) return fail("property overruns its record", at);
    size = 1 + payload;
    return true;
  }

  // One node record at `at`, inside [at, limit); on success `at` is its end.
  bool node(size_t& at, size_t limit, int depth, std::vector<FbxNode>* out) {
    if (depth > kFbxMaxDepth)
      return fail("nesting deeper than " + std::to_string(kFbxMaxDepth) + " levels", at);
    const size_t headerSize = nullSize();
    if (limit - at < headerSize) return fail("truncated node record", at);
    const uint64_t end = readLE(bytes, at, offsetWidth);
    const uint64_t propCount = readLE(bytes, at + size_t(offsetWidth), offsetWidth);
    const uint64_t propBytes = readLE(bytes, at + 2 * size_t(offsetWidth), offsetWidth);
    const size_t nameLen = uint8_t(bytes[at + 3 * size_t(offsetWidth)]);
    const size_t nameAt = at + headerSize;
    if (end < nameAt || end > limit) return fail("node end offset out of range", at);
    if (nameLen > end - nameAt || propBytes > end - nameAt - nameLen)
      return fail("node name or properties overrun the record", at);
    FbxNode n;
    n.name = bytes.substr(nameAt, nameLen);
    size_t p = nameAt + nameLen;
    const size_t propEnd = p + size_t(propBytes);
    for (uint64_t i = 0; i < propCount; ++i) {
      size_t size = 0;
      if (!property(p, propEnd, size)) return false;
      if (out) n.properties.push_back(bytes.substr(p, size));
      p += size;
    }
    if (p != propEnd) return fail("property list length does not match its properties", p);
    if (propEnd < end && !children(propEnd, size_t(end), depth + 1, out ? &n.children : nullptr, n.name))
      return false;
    if (out) out->push_back(std::move(n));
    at = size_t(end);
    return true;
  }

  bool children(size_t at, size_t end, int depth, std::vector<FbxNode>* out,
                const std::string& owner) {
    const size_t headerSize = nullSize();
    while (at < end) {
      if (end - at >= headerSize && allZero(bytes, at, headerSize)) {
        if (at + headerSize != end)
          return fail("data after the null record that closes '" + owner + "'", at);
        return true;
      }
      if (!node(at, end, depth, out)) return false;
    }
    if (strict) return fail("nested list of '" + owner + "' is not closed by a null record", at);
    return true;
  }

  bool document(FbxDocument* doc) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, 20) != 0 ||
        bytes[20] != 0 || bytes[21] != 0x1a || bytes[22] != 0)
      return fail("not a binary FBX file", 0);
    const uint32_t version = uint32_t(readLE(bytes, 23, 4));
    offsetWidth = version >= 7500 ? 8 : 4;
    std::vector<FbxNode> nodes;
    size_t at = kHeaderSize;
    const size_t headerSize = nullSize();
    // The top list ends with a null record; the footer after it is free-form.
    while (true) {
      if (bytes.size() - at < headerSize) return fail("top-level list is not closed", at);
      if (allZero(bytes, at, headerSize)) break;
      if (!node(at, bytes.size(), 0, doc ? &nodes : nullptr)) return false;
    }
    at += headerSize;
    if (doc) {
      doc->version = version;
      doc->nodes = std::move(nodes);
      doc->footerId = bytes.size() - at >= 16 ? bytes.substr(at, 16) : std::string();
      doc->footerMagic = bytes.size() - at >= 32 ? bytes.substr(bytes.size() - 16) : std::string();
    }
    return true;
  }
};

void writeNode(FbxOut& out, const FbxNode& node, int width, const FbxNodeWriter& writer) {
  if (writer && writer(node, width, out)) return;
  FbxRecord record(out, width, node.name);
  for (const std::string& p : node.properties) record.raw(p);
  // Readers take a node without properties as an (empty) list as well.
  if (!node.children.empty()) {
    record.children();
    for (const FbxNode& c : node.children) writeNode(out, c, width, writer);
  }
  record.end();
  out.spill();
}

}  // namespace

bool readFbxBinary(const std::string& bytes, FbxDocument& doc, std::string& error) {
  Walker w{bytes, false, 8, {}};
  if (!w.document(&doc)) {
    error = w.error;
    return false;
  }
  return true;
}

void FbxOut::put(size_t at, uint64_t v, int width) {
  if (at >= base_) return putLE(bytes, at - base_, v, width);
  char le[8];
  for (int i = 0; i < width; ++i) le[i] = char((v >> (8 * i)) & 0xff);
  spool_->patch(at, le, size_t(width));
}

char* FbxOut::grow(size_t n) {
  const size_t at = bytes.size();
  bytes.resize(at + n);
  return &bytes[at];
}

void FbxOut::spill() {
  if (spool_ && bytes.size() >= (size_t(1) << 20)) finish();
}

void FbxOut::finish() {
  if (!spool_) return;
  spool_->append(bytes);
  base_ += bytes.size();
  bytes.clear();
}

FbxRecord::FbxRecord(FbxOut& out, int offsetWidth, const std::string& name)
    : out_(out), width_(offsetWidth), at_(out.pos()) {
  out.bytes.append(size_t(width_) * 3, '\0');
  out.bytes.push_back(char(uint8_t(name.size() > 255 ? 255 : name.size())));
  out.bytes.append(name, 0, 255);
  propStart_ = out.pos();
}

void FbxRecord::array(char type, size_t count, size_t size) {
  std::string& b = out_.bytes;
  b.push_back(type);
  appendLE(b, count, 4);
  appendLE(b, 0, 4);
  appendLE(b, count * size, 4);
  ++count_;
}

void FbxRecord::closeProperties() {
  out_.put(at_ + size_t(width_), count_, width_);
  out_.put(at_ + 2 * size_t(width_), out_.pos() - propStart_, width_);
}

void FbxRecord::children() {
  closeProperties();
  nested_ = true;
}

void FbxRecord::end() {
  if (!nested_) closeProperties();
  if (nested_ || count_ == 0) out_.bytes.append(size_t(width_) * 3 + 1, '\0');
  out_.put(at_, out_.pos(), width_);
}

void writeFbxBinary(const FbxDocument& doc, const FbxNodeWriter& writer, FbxOut& out) {
  const int width = doc.version >= 7500 ? 8 : 4;
  std::string& b = out.bytes;
  b.append(kMagic, 20);
  b += std::string("\0\x1a\0", 3);
  appendLE(b, doc.version, 4);
  for (const FbxNode& n : doc.nodes) writeNode(out, n, width, writer);
  out.bytes.append(size_t(width) * 3 + 1, '\0');
  if (doc.footerId.size() == 16) {
    out.bytes += doc.footerId;
    out.bytes.append(16 - out.pos() % 16, '\0');
    out.bytes.append(4, '\0');
    appendLE(out.bytes, doc.version, 4);
    out.bytes.append(120, '\0');
    if (doc.footerMagic.size() == 16) out.bytes += doc.footerMagic;
  }
  out.finish();
}

std::string writeFbxBinary(const FbxDocument& doc, const FbxNodeWriter& writer, size_t reserve) {
  FbxOut out;
  out.bytes.reserve(reserve);
  writeFbxBinary(doc, writer, out);
  return std::move(out.bytes);
}

std::string checkFbxStructure(const std::string& bytes) {
  Walker w{bytes, true, 8, {}};
  if (w.document(nullptr)) return {};
  return w.error;
}

bool rewriteFbxBinary(const std::string& in, std::string& out, std::string& error) {
  FbxDocument doc;
  if (!readFbxBinary(in, doc, error)) return false;
  out = writeFbxBinary(doc);
  return true;
}

}  // namespace syv::app
