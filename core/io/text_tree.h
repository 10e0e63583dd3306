// The brace-structured text tree of a plant file, and the small string
// operations every record reader uses to split attribute lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace syv {

// One block of the file. The root is nameless and stands for the whole file;
// a block's name lives in its parent's `children` pair. Names need not be
// unique, and every consumer visits all children in file order.
//
// Move-only: a subtree can be very deep, so copying is not offered and the
// destructor releases the subtree without recursion.
struct TextNode {
  std::vector<std::string> lines;
  std::vector<std::pair<std::string, TextNode>> children;
  uint32_t depth = 0;

  TextNode() = default;
  explicit TextNode(uint32_t d) : depth(d) {}
  ~TextNode();
  TextNode(TextNode&& other) noexcept = default;
  TextNode& operator=(TextNode&& other) noexcept;
  TextNode(const TextNode&) = delete;
  TextNode& operator=(const TextNode&) = delete;
};

// What a read may take: a longer line or a deeper block stops it. Real plants
// stay far below both; the bounds keep a hostile file from costing memory
// and time before it can be refused.
struct TextLimits {
  std::size_t maxLineLength = std::size_t{16} * 1024 * 1024;
  uint32_t maxDepth = 256;
};

enum class TextReadStatus {
  kComplete,      // the input was read to its end or to the root's closing line
  kStreamFailed,  // the stream was already failed, or reading it failed part-way
  kLineTooLong,   // a line exceeded maxLineLength; the rest of the input was not read
  kTooDeep,       // a block opened below maxDepth; the rest of the input was not read
  kOutOfMemory,   // a node or line could not be allocated
  kOpenFailed,    // readTextFile only: the file could not be opened
};

struct TextReadResult {
  TextReadStatus status = TextReadStatus::kComplete;
  // 1-based number of the line at which a failure happened (0 when none).
  uint64_t line = 0;
  // Blocks still open when the input ended (the nameless root not counted).
  // They end there, as the format allows, but a file written whole closes
  // every block, so a count above 0 usually means a cut-off file.
  uint64_t openBlocks = 0;
  bool ok() const { return status == TextReadStatus::kComplete; }
};

// A short English description of a status, for logs and error lines.
const char* describeTextReadStatus(TextReadStatus status);

// Reads lines from the stream into `node` (normally an empty root of depth 0)
// until the node's closing line or the end of the input. Lines end at LF or
// CR LF. Whatever was read stays in the tree on every failure. The stream's
// buffer is consumed in chunks, so it is not positioned after the last line
// used; call this once per stream. Nesting depth costs no stack.
TextReadResult readTextTree(std::istream& in, TextNode& node,
                            const TextLimits& limits = TextLimits());

// Opens `fileName` in binary mode and reads it with readTextTree.
TextReadResult readTextFile(const std::string& fileName, TextNode& root,
                            const TextLimits& limits = TextLimits());

// The same as readTextTree, reduced to a bool: true only when complete.
bool readTextNode(TextNode& node, std::istream& in);

// White space: blank, tab, line feed, vertical tab, form feed, carriage return.
bool isBlankChar(char c);

// The text without leading and trailing white space.
std::string trimBlanks(const std::string& text);

// Returns the part before the first `separator` and replaces `text` by the
// trimmed part after it. Without a separator returns the whole text and
// leaves `text` empty.
std::string popToken(std::string& text, char separator);

// The characters between the first double quote and the next one; `text`
// becomes what follows the closing quote. With fewer than two quotes returns
// the empty string and leaves `text` unchanged.
std::string quotedText(std::string& text);

// As quotedText, between the first '{' and the next '}'.
std::string braceGroup(std::string& text);

// Splits an attribute line: the key is the text before the first blank, the
// value the trimmed rest.
void splitKeyValue(const std::string& line, std::string& key, std::string& value);

// The longest decimal prefix (after leading white space) as a double; no
// prefix reads as 0.0. Accepts optional sign, digits with an optional point
// and fraction, optional exponent. Never yields NaN; out-of-range magnitudes
// give an infinity or a (signed) zero.
double readNumber(const std::string& text);

// The longest decimal integer prefix; no prefix reads as 0. Values beyond the
// 32-bit range saturate at its limits.
int32_t readInteger(const std::string& text);

// readInteger saturated to the 16-bit range.
int16_t readShortInteger(const std::string& text);

// True exactly when the trimmed text is "TRUE".
bool readBoolean(const std::string& text);

// The double-quoted name in the trimmed value (empty without two quotes).
std::string readQuotedName(const std::string& value);

}  // namespace syv
