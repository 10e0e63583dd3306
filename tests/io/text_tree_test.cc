#include "core/io/text_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace syv {
namespace {

TextNode parse(const std::string& text, TextReadResult* result = nullptr,
               const TextLimits& limits = TextLimits()) {
  TextNode root;
  std::istringstream in(text);
  TextReadResult r = readTextTree(in, root, limits);
  if (result) *result = r;
  return root;
}

// Lines end in '|', a block is its name and its content in brackets; a block
// whose depth is not its parent's plus one is marked.
std::string dump(const TextNode& node) {
  std::string s;
  for (const std::string& line : node.lines) s += line + "|";
  for (const auto& [name, child] : node.children)
    s += name + (child.depth == node.depth + 1 ? "[" : "[bad depth ") + dump(child) + "]";
  return s;
}

TEST(TextTree, BlocksLinesAndNames) {
  // One brace of each kind is an ordinary line, not a close; the closing line
  // keeps the text before its brace; a line ending in '{' opens a block even
  // when it also holds '}'; without a blank the name is the whole line, and an
  // indented line yields the empty name.
  EXPECT_EQ(dump(parse("Version 4.0\nTree {\nSegments 5\nKey {a}\nInner {\nabc }\nA } {\n}\n"
                       "Struct{\n}\n Indented {\n}\n}\nTree {\nx\n}\n")),
            "Version 4.0|Tree[Segments 5|Key {a}|Inner[abc |]A[]Struct{[][]]Tree[x|]");
  // CR LF ends a line; a lone CR line is skipped; one leading CR is removed; a
  // last line without a line feed is still read.
  EXPECT_EQ(dump(parse("A {\r\nk v\r\n\r\n\r\r\n\rlead\r\nmid\rdle\n}\r\nlast")),
            "last|A[k v|lead|mid\rdle|]");
}

TEST(TextTree, UnbalancedBraces) {
  TextReadResult result;
  const TextNode open3 = parse("A {\na1\nB {\nb1\nC {\nc1\n", &result);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(dump(open3), "A[a1|B[b1|C[c1|]]]");
  EXPECT_EQ(result.openBlocks, 3u);
  // A close at the root ends the read; the rest is ignored, yet it is no
  // failure. The text before the line's last brace is kept, braces included.
  EXPECT_EQ(dump(parse("before\n}}\nafter\nX {\n}\n", &result)), "before|}|");
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.openBlocks, 0u);
}

TEST(TextTree, LongLinesAreReadWholeUpToTheBound) {
  for (std::size_t length : {std::size_t{1023}, std::size_t{1024}, std::size_t{200000}}) {
    const std::string longLine(length, 'x');
    TextReadResult result;
    EXPECT_EQ(dump(parse("A {\n" + longLine + "\nafter\n}\nB {\n}\n", &result)),
              "A[" + longLine + "|after|]B[]");
    EXPECT_TRUE(result.ok()) << length;
  }
  // Exactly at the bound, with and without CR LF, and as a last line without LF.
  const std::size_t kMaxLineLength = TextLimits().maxLineLength;
  const std::string atBound(kMaxLineLength, 'y');
  for (const std::string& text : {atBound + "\r\nz\n", atBound + "\nz\n", "z\n" + atBound}) {
    TextReadResult result;
    const TextNode root = parse(text, &result);
    EXPECT_TRUE(result.ok());
    ASSERT_EQ(root.lines.size(), 2u);
    EXPECT_EQ(std::max(root.lines[0].size(), root.lines[1].size()), kMaxLineLength);
  }
  // One byte over: the read stops there, the failure is reported with its
  // line, and what came before is kept.
  for (const std::string& tail : {std::string("\n"), std::string("\r\n"), std::string()}) {
    TextReadResult result;
    const TextNode root = parse("keep\nA {\nin\n" + atBound + "y" + tail + "lost\n}\n", &result);
    EXPECT_EQ(result.status, TextReadStatus::kLineTooLong);
    EXPECT_EQ(result.line, 4u);
    EXPECT_EQ(dump(root), "keep|A[in|]");
  }
}

TEST(TextTree, DeepNestingNeedsNoStackAndStopsAtTheLimit) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "N {\nv\n";
  for (int i = 0; i < kDepth; ++i) text += "}\n";
  text += "tail\n";
  TextReadResult result;
  TextLimits limits;
  // The default refuses the first block below it, on its line.
  parse(text, &result, limits);
  EXPECT_EQ(result.status, TextReadStatus::kTooDeep);
  EXPECT_EQ(result.line, 2 * uint64_t{limits.maxDepth} + 1);
  limits.maxDepth = kDepth;
  {
    TextNode root = parse(text, &result, limits);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(root.lines, std::vector<std::string>{"tail"});
    const TextNode* node = &root;
    int depth = 0;
    while (!node->children.empty()) {
      ASSERT_EQ(node->children.size(), 1u);
      node = &node->children[0].second;
      ++depth;
      ASSERT_EQ(node->depth, static_cast<uint32_t>(depth));
      ASSERT_EQ(node->lines.size(), 1u);
    }
    EXPECT_EQ(depth, kDepth);
    // Moving onto a deep tree releases the old one without recursion too.
    TextNode other = parse("N {\n");
    other = std::move(root);
    EXPECT_EQ(other.children.size(), 1u);
  }  // destroying the deep tree must not overflow the stack
}

TEST(TextTree, StreamFailuresAreReported) {
  std::istringstream failed("A {\n}\n");
  failed.setstate(std::ios::failbit);
  TextNode root;
  EXPECT_EQ(readTextTree(failed, root).status, TextReadStatus::kStreamFailed);
  EXPECT_FALSE(readTextNode(root, failed));
  TextNode file;
  EXPECT_EQ(readTextFile("/nonexistent/io_missing.syv", file).status, TextReadStatus::kOpenFailed);
}

TEST(StringOps, NumbersIntegersAndBooleans) {
  const double inf = std::numeric_limits<double>::infinity();
  // Prefixes outside the decimal form read as 0, never as NaN.
  const struct {
    const char* text;
    double value;
  } numbers[] = {{"  1.5e2x", 150}, {"-.5", -0.5}, {"+3", 3},        {"5.", 5},
                 {"1e1", 10},       {"2e", 2},     {"2e+", 2},       {"1E-2", 0.01},
                 {"0.1", 0.1},      {"", 0},       {"abc", 0},       {".", 0},
                 {"-", 0},          {". 5", 0},    {"0x10y", 0},     {"inf", 0},
                 {"nan", 0},        {"NAN", 0},    {"1e400", inf},   {"-0.0001e400", -inf},
                 {"1e-400", 0},     {"1e99999999999999999999", inf}};
  for (const auto& c : numbers) EXPECT_EQ(readNumber(c.text), c.value) << c.text;

  const struct {
    const char* text;
    int32_t value;
  } integers[] = {{" 42abc", 42}, {"-7", -7}, {"3.9", 3}, {"x1", 0},
                  {"99999999999", std::numeric_limits<int32_t>::max()},
                  {"-99999999999999999999", std::numeric_limits<int32_t>::min()}};
  for (const auto& c : integers) EXPECT_EQ(readInteger(c.text), c.value) << c.text;
  EXPECT_EQ(readShortInteger("40000"), 32767);
  EXPECT_EQ(readShortInteger("-40000"), -32768);
  EXPECT_TRUE(readBoolean(" TRUE \r"));
  for (const char* text : {"true", "TRUE1", ""}) EXPECT_FALSE(readBoolean(text)) << text;
}

}  // namespace
}  // namespace syv
