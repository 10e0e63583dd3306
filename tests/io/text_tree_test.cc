#include "core/io/text_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace syv {
namespace {

TextNode parse(const std::string& text, TextReadResult* result = nullptr) {
  TextNode root;
  std::istringstream in(text);
  TextReadResult r = readTextTree(in, root);
  if (result) *result = r;
  return root;
}

TEST(TextTree, BlocksLinesAndNames) {
  const TextNode root = parse(
      "Version 4.0\n"
      "Tree {\n"
      "Segments 5\n"
      "Key {a}\n"
      "Inner {\n"
      "abc }\n"
      "A } {\n"
      "}\n"
      "Struct{\n"
      "}\n"
      " Indented {\n"
      "}\n"
      "}\n"
      "Tree {\n"
      "x\n"
      "}\n");
  ASSERT_EQ(root.lines, std::vector<std::string>{"Version 4.0"});
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.depth, 0u);

  const auto& [treeName, tree] = root.children[0];
  EXPECT_EQ(treeName, "Tree");
  EXPECT_EQ(tree.depth, 1u);
  // One brace of each kind is an ordinary line, not a close.
  EXPECT_EQ(tree.lines, (std::vector<std::string>{"Segments 5", "Key {a}"}));
  ASSERT_EQ(tree.children.size(), 4u);

  const TextNode& inner = tree.children[0].second;
  EXPECT_EQ(tree.children[0].first, "Inner");
  EXPECT_EQ(inner.depth, 2u);
  // The closing line keeps the text before its brace, blank included.
  EXPECT_EQ(inner.lines, std::vector<std::string>{"abc "});

  // A line ending in '{' opens a block even when it also holds '}'.
  EXPECT_EQ(tree.children[1].first, "A");
  EXPECT_TRUE(tree.children[1].second.lines.empty());
  // Without a blank the name is the whole line, brace included.
  EXPECT_EQ(tree.children[2].first, "Struct{");
  // An indented line yields the empty name.
  EXPECT_EQ(tree.children[3].first, "");

  EXPECT_EQ(root.children[1].first, "Tree");
  EXPECT_EQ(root.children[1].second.lines, std::vector<std::string>{"x"});
}

TEST(TextTree, LineEndingsAndEmptyInput) {
  TextReadResult result;
  TextNode empty = parse("", &result);
  EXPECT_TRUE(result.ok());
  EXPECT_TRUE(empty.lines.empty());
  EXPECT_TRUE(empty.children.empty());

  const TextNode root = parse("A {\r\nk v\r\n\r\n\r\r\n\rlead\r\nmid\rdle\n}\r\nlast");
  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.children[0].first, "A");
  // CR LF ends a line; a lone CR line is skipped; one leading CR is removed.
  EXPECT_EQ(root.children[0].second.lines,
            (std::vector<std::string>{"k v", "lead", "mid\rdle"}));
  // A last line without a line feed is still read.
  EXPECT_EQ(root.lines, std::vector<std::string>{"last"});
}

TEST(TextTree, UnbalancedBraces) {
  TextReadResult result;
  const TextNode open3 = parse("A {\na1\nB {\nb1\nC {\nc1\n", &result);
  EXPECT_TRUE(result.ok());
  ASSERT_EQ(open3.children.size(), 1u);
  const TextNode& a = open3.children[0].second;
  ASSERT_EQ(a.children.size(), 1u);
  const TextNode& b = a.children[0].second;
  ASSERT_EQ(b.children.size(), 1u);
  const TextNode& c = b.children[0].second;
  EXPECT_EQ(a.lines, std::vector<std::string>{"a1"});
  EXPECT_EQ(b.lines, std::vector<std::string>{"b1"});
  EXPECT_EQ(c.lines, std::vector<std::string>{"c1"});
  EXPECT_EQ(c.depth, 3u);
  EXPECT_EQ(result.openBlocks, 3u);

  // A close at the root ends the read; the rest is ignored, yet it is no
  // failure. The text before the line's last brace is kept, braces included.
  const TextNode closed = parse("before\n}}\nafter\nX {\n}\n", &result);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(closed.lines, (std::vector<std::string>{"before", "}"}));
  EXPECT_TRUE(closed.children.empty());
  EXPECT_EQ(result.openBlocks, 0u);
  parse("A {\nB {\n}\n}\n", &result);
  EXPECT_EQ(result.openBlocks, 0u);
}

TEST(TextTree, LongLinesAreReadWholeUpToTheBound) {
  for (std::size_t length : {std::size_t{1023}, std::size_t{1024}, std::size_t{200000}}) {
    const std::string longLine(length, 'x');
    TextReadResult result;
    const TextNode root = parse("A {\n" + longLine + "\nafter\n}\nB {\n}\n", &result);
    EXPECT_TRUE(result.ok()) << length;
    ASSERT_EQ(root.children.size(), 2u) << length;
    EXPECT_EQ(root.children[0].second.lines, (std::vector<std::string>{longLine, "after"}));
  }

  // Exactly at the bound, with and without CR LF, and as a last line without LF.
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
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(root.lines, std::vector<std::string>{"keep"});
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].second.lines, std::vector<std::string>{"in"});
  }
}

TEST(TextTree, DeepNestingNeedsNoStack) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "N {\nv\n";
  for (int i = 0; i < kDepth; ++i) text += "}\n";
  text += "tail\n";
  TextReadResult result;
  {
    TextNode root = parse(text, &result);
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

// The recursive reader as the format describes it, for comparison on inputs
// whose lines are short and whose nesting is shallow.
bool referenceRead(TextNode& node, std::istream& in) {
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r' && !in.eof()) line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '\r') {
      line.erase(0, 1);
      if (line.empty()) continue;
    }
    if (line.back() == '{') {
      std::string rest = line;
      std::string name = popToken(rest, ' ');
      TextNode child(node.depth + 1);
      referenceRead(child, in);
      node.children.emplace_back(name, std::move(child));
      continue;
    }
    if (line.back() == '}') {
      int open = 0, close = 0;
      for (char c : line) open += c == '{', close += c == '}';
      if (close > open) {
        if (line.size() > 1) node.lines.push_back(line.substr(0, line.size() - 1));
        return true;
      }
    }
    node.lines.push_back(line);
  }
  return true;
}

bool sameTree(const TextNode& a, const TextNode& b) {
  if (a.lines != b.lines || a.depth != b.depth || a.children.size() != b.children.size())
    return false;
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    if (a.children[i].first != b.children[i].first) return false;
    if (!sameTree(a.children[i].second, b.children[i].second)) return false;
  }
  return true;
}

TEST(TextTree, MatchesRecursiveReaderOnRandomInputs) {
  std::mt19937 rng(12345);
  const char alphabet[] = {'a', 'b', ' ', '{', '}', '\r', '\n', '\n'};
  std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1);
  std::uniform_int_distribution<int> length(0, 120);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int n = length(rng);
    for (int i = 0; i < n; ++i) text += alphabet[pick(rng)];
    TextNode mine = parse(text);
    TextNode reference;
    std::istringstream in(text);
    referenceRead(reference, in);
    ASSERT_TRUE(sameTree(mine, reference)) << "input: " << ::testing::PrintToString(text);
  }
}

TEST(StringOps, TrimPopQuoteBrace) {
  EXPECT_EQ(trimBlanks(" \t\n\v\f\rab c\r\n "), "ab c");
  EXPECT_EQ(trimBlanks(" \t "), "");

  std::string text = "Name   \"x\" ";
  EXPECT_EQ(popToken(text, ' '), "Name");
  EXPECT_EQ(text, "\"x\"");
  text = "word";
  EXPECT_EQ(popToken(text, ' '), "word");
  EXPECT_EQ(text, "");
  text = ",rest ";
  EXPECT_EQ(popToken(text, ','), "");
  EXPECT_EQ(text, "rest");
  text = " a ,b";
  EXPECT_EQ(popToken(text, ','), " a ");  // the token itself is not trimmed

  text = "x \"one\" \"two\"";
  EXPECT_EQ(quotedText(text), "one");
  EXPECT_EQ(text, " \"two\"");
  text = "only \"one";
  EXPECT_EQ(quotedText(text), "");
  EXPECT_EQ(text, "only \"one");

  text = "} {1, 2} {3}";
  EXPECT_EQ(braceGroup(text), "1, 2");
  EXPECT_EQ(text, " {3}");
  text = "}{";
  EXPECT_EQ(braceGroup(text), "");
  EXPECT_EQ(text, "}{");

  std::string key, value;
  splitKeyValue("Segments  {1, 2, 3}  ", key, value);
  EXPECT_EQ(key, "Segments");
  EXPECT_EQ(value, "{1, 2, 3}");
  splitKeyValue("Smooth", key, value);
  EXPECT_EQ(key, "Smooth");
  EXPECT_EQ(value, "");
  EXPECT_EQ(readQuotedName("  \"Leaf_Open\" tail"), "Leaf_Open");
}

TEST(StringOps, NumbersIntegersAndBooleans) {
  EXPECT_EQ(readNumber("  1.5e2x"), 150.0);
  EXPECT_EQ(readNumber("-.5"), -0.5);
  EXPECT_EQ(readNumber("+3"), 3.0);
  EXPECT_EQ(readNumber("5."), 5.0);
  EXPECT_EQ(readNumber("1e1"), 10.0);
  EXPECT_EQ(readNumber("2e"), 2.0);
  EXPECT_EQ(readNumber("2e+"), 2.0);
  EXPECT_EQ(readNumber("1E-2"), 0.01);
  EXPECT_EQ(readNumber("0.1"), 0.1);
  // Prefixes outside the decimal form read as 0, never as NaN.
  for (const char* text : {"", "abc", ".", "-", ". 5", "0x10y", "inf", "nan", "NAN"}) {
    const double v = readNumber(text);
    EXPECT_FALSE(std::isnan(v)) << text;
    EXPECT_EQ(v, 0.0) << text;
  }
  EXPECT_EQ(readNumber("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(readNumber("-0.0001e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(readNumber("1e-400"), 0.0);
  EXPECT_EQ(readNumber("1e99999999999999999999"), std::numeric_limits<double>::infinity());

  EXPECT_EQ(readInteger(" 42abc"), 42);
  EXPECT_EQ(readInteger("-7"), -7);
  EXPECT_EQ(readInteger("3.9"), 3);
  EXPECT_EQ(readInteger("x1"), 0);
  EXPECT_EQ(readInteger("99999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(readInteger("-99999999999999999999"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(readShortInteger("40000"), 32767);
  EXPECT_EQ(readShortInteger("-40000"), -32768);
  EXPECT_EQ(readShortInteger("12"), 12);

  EXPECT_TRUE(readBoolean("TRUE"));
  EXPECT_TRUE(readBoolean(" TRUE \r"));
  EXPECT_FALSE(readBoolean("true"));
  EXPECT_FALSE(readBoolean("TRUE1"));
  EXPECT_FALSE(readBoolean(""));
}

}  // namespace
}  // namespace syv
