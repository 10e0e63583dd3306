#include "core/io/text_tree.h"

#include <charconv>
#include <cstring>
#include <exception>
#include <fstream>
#include <istream>
#include <limits>
#include <memory>
#include <new>
#include <streambuf>

namespace syv {

TextNode::~TextNode() {
  if (children.empty()) return;
  // Flatten the subtree so that a deep file does not recurse here.
  std::vector<std::pair<std::string, TextNode>> pending = std::move(children);
  while (!pending.empty()) {
    TextNode node = std::move(pending.back().second);
    pending.pop_back();
    for (auto& child : node.children) pending.push_back(std::move(child));
    node.children.clear();
  }
}

TextNode& TextNode::operator=(TextNode&& other) noexcept {
  if (this != &other) {
    TextNode old(std::move(*this));
    lines = std::move(other.lines);
    children = std::move(other.children);
    depth = other.depth;
  }
  return *this;
}

const char* describeTextReadStatus(TextReadStatus status) {
  switch (status) {
    case TextReadStatus::kComplete: return "complete";
    case TextReadStatus::kStreamFailed: return "the input could not be read";
    case TextReadStatus::kLineTooLong: return "a line is longer than the line length limit";
    case TextReadStatus::kTooDeep: return "blocks nest deeper than the depth limit";
    case TextReadStatus::kOutOfMemory: return "out of memory";
    case TextReadStatus::kOpenFailed: return "the file could not be opened";
  }
  return "unknown";
}

namespace {

// Reads LF-terminated lines in chunks straight from the stream buffer.
class LineSource {
 public:
  enum Outcome { kLine, kEnd, kTooLong };

  LineSource(std::streambuf* buf, std::size_t maxLength) : buf_(buf), max_(maxLength) {}

  // The next line without its LF (and without a CR just before the LF).
  Outcome next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (pos_ == size_) {
        if (!refill()) {
          if (line.size() > max_) return kTooLong;
          return any ? kLine : kEnd;
        }
      }
      any = true;
      const char* begin = chunk_ + pos_;
      const std::size_t avail = size_ - pos_;
      const void* lf = std::memchr(begin, '\n', avail);
      const std::size_t take = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : avail;
      // The CR of a CR LF may still be pending, so allow one byte over.
      if (line.size() + take > max_ + 1) return kTooLong;
      line.append(begin, take);
      pos_ += take;
      if (lf) {
        ++pos_;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.size() > max_ ? kTooLong : kLine;
      }
    }
  }

 private:
  bool refill() {
    pos_ = 0;
    size_ = 0;
    const std::streamsize got = buf_->sgetn(chunk_, sizeof chunk_);
    if (got <= 0) return false;
    size_ = static_cast<std::size_t>(got);
    return true;
  }

  std::streambuf* buf_;
  std::size_t max_;
  char chunk_[1 << 16];
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
};

bool endsWith(const std::string& s, char c) { return !s.empty() && s.back() == c; }

// True when the line, ending in '}', holds more closing than opening braces.
bool closesBlock(const std::string& line) {
  std::size_t open = 0, close = 0;
  for (char c : line) {
    if (c == '{') ++open;
    else if (c == '}') ++close;
  }
  return close > open;
}

TextReadResult buildTree(std::streambuf* buf, TextNode& root, const TextLimits& limits) {
  TextReadResult result;
  auto source = std::make_unique<LineSource>(buf, limits.maxLineLength);
  // Open blocks, innermost last. A pointer stays valid: a parent gains no
  // new child while one of its children is open.
  std::vector<TextNode*> open{&root};
  std::string line;
  uint64_t lineNumber = 0;
  for (;;) {
    const LineSource::Outcome outcome = source->next(line);
    if (outcome == LineSource::kEnd) {
      result.openBlocks = open.size() - 1;
      return result;
    }
    ++lineNumber;
    if (outcome == LineSource::kTooLong) {
      result.status = TextReadStatus::kLineTooLong;
      result.line = lineNumber;
      return result;
    }
    if (line.empty()) continue;
    if (line[0] == '\r') {
      line.erase(0, 1);
      if (line.empty()) continue;
    }
    TextNode& node = *open.back();
    if (endsWith(line, '{')) {
      if (node.depth >= limits.maxDepth) {
        result.status = TextReadStatus::kTooDeep;
        result.line = lineNumber;
        return result;
      }
      std::string rest = line;
      std::string name = popToken(rest, ' ');
      node.children.emplace_back(std::move(name), TextNode(node.depth + 1));
      open.push_back(&node.children.back().second);
      continue;
    }
    if (endsWith(line, '}') && closesBlock(line)) {
      if (line.size() > 1) {
        line.pop_back();
        node.lines.push_back(std::move(line));
      }
      open.pop_back();
      if (open.empty()) return result;
      continue;
    }
    node.lines.push_back(std::move(line));
  }
}

}  // namespace

TextReadResult readTextTree(std::istream& in, TextNode& node, const TextLimits& limits) {
  TextReadResult result;
  if (!in || in.rdbuf() == nullptr) {
    result.status = TextReadStatus::kStreamFailed;
    return result;
  }
  try {
    result = buildTree(in.rdbuf(), node, limits);
  } catch (const std::bad_alloc&) {
    result.status = TextReadStatus::kOutOfMemory;
  } catch (const std::exception&) {
    // A stream buffer may throw on a read error.
    result.status = TextReadStatus::kStreamFailed;
  }
  if (result.ok()) in.setstate(std::ios_base::eofbit);
  return result;
}

TextReadResult readTextFile(const std::string& fileName, TextNode& root,
                            const TextLimits& limits) {
  std::ifstream in(fileName, std::ios::in | std::ios::binary);
  if (!in.is_open()) {
    TextReadResult result;
    result.status = TextReadStatus::kOpenFailed;
    return result;
  }
  return readTextTree(in, root, limits);
}

bool readTextNode(TextNode& node, std::istream& in) { return readTextTree(in, node).ok(); }

bool isBlankChar(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimBlanks(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && isBlankChar(text[begin])) ++begin;
  while (end > begin && isBlankChar(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string popToken(std::string& text, char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) {
    std::string token;
    token.swap(text);
    return token;
  }
  std::string token = text.substr(0, at);
  text = trimBlanks(text.substr(at + 1));
  return token;
}

namespace {

std::string delimited(std::string& text, char opening, char closing) {
  const std::size_t first = text.find(opening);
  if (first == std::string::npos) return std::string();
  const std::size_t second = text.find(closing, first + 1);
  if (second == std::string::npos) return std::string();
  std::string inner = text.substr(first + 1, second - first - 1);
  text.erase(0, second + 1);
  return inner;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Moves i past leading white space and an optional sign; true for a minus.
bool skipBlanksAndSign(const std::string& text, std::size_t& i) {
  while (i < text.size() && isBlankChar(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return text[i++] == '-';
  return false;
}

}  // namespace

std::string quotedText(std::string& text) { return delimited(text, '"', '"'); }

std::string braceGroup(std::string& text) { return delimited(text, '{', '}'); }

void splitKeyValue(const std::string& line, std::string& key, std::string& value) {
  value = line;
  key = popToken(value, ' ');
}

double readNumber(const std::string& text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  const bool negative = skipBlanksAndSign(text, i);
  const std::size_t digitsBegin = i;
  while (i < n && isDigit(text[i])) ++i;
  const std::size_t intDigits = i - digitsBegin;
  std::size_t fracDigits = 0;
  if (i < n && text[i] == '.') {
    std::size_t j = i + 1;
    while (j < n && isDigit(text[j])) ++j;
    fracDigits = j - i - 1;
    if (intDigits > 0 || fracDigits > 0) i = j;
  }
  if (intDigits == 0 && fracDigits == 0) return 0.0;
  long long exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool expNegative = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) {
      expNegative = text[j] == '-';
      ++j;
    }
    const std::size_t expBegin = j;
    while (j < n && isDigit(text[j])) {
      if (exponent < 1000000) exponent = exponent * 10 + (text[j] - '0');
      ++j;
    }
    if (j > expBegin) {
      i = j;
      if (expNegative) exponent = -exponent;
    } else {
      exponent = 0;
    }
  }
  double value = 0.0;
  const auto parsed = std::from_chars(text.data() + digitsBegin, text.data() + i, value,
                                      std::chars_format::general);
  if (parsed.ec == std::errc::result_out_of_range) {
    // Decimal exponent of the leading non-zero digit decides overflow or underflow.
    long long lead = 0;
    bool found = false;
    for (std::size_t k = 0; k < intDigits && !found; ++k) {
      if (text[digitsBegin + k] != '0') {
        lead = static_cast<long long>(intDigits - k - 1);
        found = true;
      }
    }
    for (std::size_t k = 0; k < fracDigits && !found; ++k) {
      if (text[digitsBegin + intDigits + 1 + k] != '0') {
        lead = -static_cast<long long>(k + 1);
        found = true;
      }
    }
    value = (found && lead + exponent > 0) ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (parsed.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

int32_t readInteger(const std::string& text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  const bool negative = skipBlanksAndSign(text, i);
  constexpr long long kLimit = 1LL << 31;
  long long magnitude = 0;
  while (i < n && isDigit(text[i])) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - '0');
    ++i;
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int16_t readShortInteger(const std::string& text) {
  const int32_t value = readInteger(text);
  if (value > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (value < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(value);
}

bool readBoolean(const std::string& text) { return trimBlanks(text) == "TRUE"; }

std::string readQuotedName(const std::string& value) {
  std::string text = trimBlanks(value);
  return quotedText(text);
}

}  // namespace syv
