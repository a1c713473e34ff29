#include "source_reader/source_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "source_reader/line_skip.h"

namespace vorn {
namespace {

// All tokens of `text`, with the line number each came from; given the text's `lines`, also
// checks that the line a diagnostic would show with each token is the token's own.
std::vector<std::pair<std::string, std::int64_t>> tokens_of(
    SourceReader& r, const std::vector<std::string>* lines = nullptr) {
  std::vector<std::pair<std::string, std::int64_t>> out;
  while (next_token(r)) {
    out.emplace_back(r.current_token, r.line_no);
    if (lines != nullptr) {
      EXPECT_EQ(reader_line(r), lines->at(static_cast<std::size_t>(out.back().second - 1)));
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::int64_t>> tokens_of(std::string_view text) {
  SourceReader r;
  reader_from_text(r, text);
  return tokens_of(r);
}

using Tokens = std::vector<std::pair<std::string, std::int64_t>>;

TEST(Tokenizer, DelimitersCaseAndComments) {
  EXPECT_EQ(tokens_of("  ld\tr1,  100 \n\n\t\nSt ;note ; a comment ADD\n;\n; x y\nend"),
            (Tokens{{"LD", 1}, {"R1,", 1}, {"100", 1}, {"ST", 4}, {";NOTE", 4}, {"END", 7}}));
  // Only a-z are folded; other bytes, also above 127 and NUL, stay as they are.
  std::string odd = std::string("a\xe9z\0b", 5);
  EXPECT_EQ(tokens_of(odd), (Tokens{{std::string("A\xe9Z\0B", 5), 1}}));
}

TEST(Tokenizer, CarriageReturnsBeforeNewlineAreDropped) {
  EXPECT_EQ(tokens_of("A B\r\n\r\nC\r"), (Tokens{{"A", 1}, {"B", 1}, {"C", 3}}));
  // A CR inside a line is an ordinary character.
  EXPECT_EQ(tokens_of("A\rB\n"), (Tokens{{"A\rB", 1}}));
}

TEST(Tokenizer, LongLinesAreReadWhole) {
  std::string big(1 << 20, 'x');
  std::string text = "first\n" + big + " ; comment " + big + "\nlast";
  Tokens got = tokens_of(text);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].first, std::string(1 << 20, 'X'));
  EXPECT_EQ(got[1].second, 2);
  EXPECT_EQ(got[2], (Tokens::value_type{"LAST", 3}));
}

// A source that arrives in blocks, as from a file.
struct Stream {
  std::string_view text;
  std::size_t pos = 0;
  static std::ptrdiff_t read(void* context, char* buf, std::size_t size) {
    auto& s = *static_cast<Stream*>(context);
    std::size_t n = std::min(size, s.text.size() - s.pos);
    std::copy_n(s.text.data() + s.pos, n, buf);
    s.pos += n;
    return static_cast<std::ptrdiff_t>(n);
  }
};

// A streamed source read in tiny blocks joins lines across reads exactly like the text source.
TEST(Tokenizer, StreamedSourceJoinsLinesAcrossReads) {
  std::string text = "alpha beta\r\n\n \t\r\n ; c\r\n;\n;\r\n;x\n;\rx\n \r \n" +
                     std::string(100, 'q') + " gamma ; c d\r\n  ; last comment\r\n";
  for (std::size_t block : {1u, 2u, 7u, 64u, 4096u}) {
    Stream stream{text};
    SourceReader r;
    r.block_size = block;
    reader_from_stream(r, Stream::read, &stream);
    EXPECT_EQ(tokens_of(r), (Tokens{{"ALPHA", 1},
                                    {"BETA", 1},
                                    {";X", 7},
                                    {";\rX", 8},
                                    {"\r", 9},
                                    {std::string(100, 'Q'), 10},
                                    {"GAMMA", 10}}))
        << "block size " << block;
    EXPECT_EQ(reader_line(r), "  ; last comment");
    EXPECT_EQ(r.line_no, 11);
  }
}

// The tokens of `text` and the last line read, by the rules written out plainly: lines end at
// LF, a CR before it (or at the end) is dropped, tokens are runs of non-blanks, and a token ";"
// ends its line.
std::pair<Tokens, std::string> reference_tokens(const std::string& text,
                                                std::vector<std::string>& lines) {
  Tokens out;
  std::string last;
  std::int64_t line_no = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t nl = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, nl - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = nl + 1;
    last = line;
    lines.push_back(line);
    ++line_no;
    std::size_t p = 0;
    while (true) {
      while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
      if (p == line.size()) break;
      std::size_t q = p;
      while (q < line.size() && line[q] != ' ' && line[q] != '\t') ++q;
      std::string tok = line.substr(p, q - p);
      if (tok == ";") break;
      for (char& c : tok) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
      out.emplace_back(tok, line_no);
      p = q;
    }
  }
  return {out, last};
}

// Catches a block scanner that mistakes a line at a block's edge, a token store that loses
// bytes as it grows or upper-cases more than "a" to "z", and a line entered wrongly by the
// token step: random runs of blank, comment and CR LF lines with a few tokens, at every
// alignment, as text and streamed in small blocks, give the tokens, line numbers, lines shown
// with them and last line of the plain rules. The last rounds are sources of a few hundred KB,
// so that the in-memory reader too reads on past full reads, and the line kept for diagnostics
// moves with the line a read cut.
TEST(Tokenizer, BlockScannerAgreesWithThePlainRules) {
  const char* const pieces[] = {
      " ", "\t", "\n", "\n", "\n", ";", "; c", "\r", "\r\n", ";\r\n", "  ; x\n", "a", ";b", "\t;\t",
      "          ",
      // a token longer than the store holds at first, and the bytes
      // around "a" to "z" that upper-casing must leave alone
      " Long-token-past-the-first-store-of-sixty-four-bytes-x-y-z-0123456789 ",
      " @[`{\xC3\xA9z\x80 ",
      // tokens that end at an eight-byte step, and bytes below 0x21
      // that are part of a token, which the word scan must not end at
      "abcdefgh", "ijklmnopqrstuvwx", "\x01y\x1f\x0b", "q\rr"};
  std::uint32_t seed = 7;
  for (int round = 0; round < 404; ++round) {
    std::string text(static_cast<std::size_t>(round % 64), ' ');
    const int n = round < 400 ? 20 + round % 300 : 40000;
    for (int k = 0; k < n; ++k) {
      seed = seed * 1103515245u + 12345u;
      text += pieces[(seed >> 16) % std::size(pieces)];
    }
    std::vector<std::string> lines;
    const auto [want, last] = reference_tokens(text, lines);
    SourceReader r;
    reader_from_text(r, text);
    ASSERT_EQ(tokens_of(r, &lines), want) << round;
    if (r.line_no > 0) {
      EXPECT_EQ(reader_line(r), last) << round;
    }
    Stream stream{text};
    SourceReader streamed;
    streamed.block_size = round < 400 ? 16 + round % 200 : READ_BLOCK_SIZE - 401 + round;
    reader_from_stream(streamed, Stream::read, &stream);
    ASSERT_EQ(tokens_of(streamed, &lines), want) << round;
    if (streamed.line_no > 0) {
      EXPECT_EQ(reader_line(streamed), last) << round;
    }
  }
}

// Catches a block classifier that disagrees with the plain loop (a mask bit off by one, a
// block read at the wrong offset), on random blocks of the bytes that matter at every
// alignment: the plain loop is what WebAssembly and other processors run.
TEST(Tokenizer, VectorScanAgreesWithThePlainLoopAtEveryAlignment) {
  const char alphabet[] = {' ', '\t', '\n', '\r', ';', 'a', ' ', ' '};
  std::uint32_t seed = 11;
  char buf[256];
  for (int round = 0; round < 200; ++round) {
    for (char& c : buf) {
      seed = seed * 1103515245u + 12345u;
      c = alphabet[(seed >> 16) % (round % 2 == 0 ? 8 : 3)];  // every other round: blanks
    }
    for (int at = 0; at < 64; ++at) {
      const line_skip::Masks v = line_skip::classify64(buf + at);
      const line_skip::Masks plain = line_skip::classify64_plain(buf + at);
      ASSERT_EQ(v.newline, plain.newline) << round << " " << at;
      ASSERT_EQ(v.blank, plain.blank) << round << " " << at;
      ASSERT_EQ(v.semicolon, plain.semicolon) << round << " " << at;
      ASSERT_EQ(v.cr, plain.cr) << round << " " << at;
      ASSERT_EQ(line_skip::bit_count(v.blank), std::popcount(v.blank)) << round << " " << at;
    }
  }
}

TEST(Numbers, WhatIsANumber) {
  struct Case {
    const char* text;
    NumberScan scan;
    std::int32_t value;
  } cases[] = {
      {"12", NumberScan::in_range, 12},
      {"-12", NumberScan::in_range, -12},
      {"007", NumberScan::in_range, 7},
      {"-", NumberScan::in_range, 0},
      {"", NumberScan::in_range, 0},
      {"-0", NumberScan::in_range, 0},
      {"0000000000000000000042", NumberScan::in_range, 42},
      {"2147483647", NumberScan::in_range, 2147483647},
      {"-2147483648", NumberScan::in_range, INT32_MIN},
      {"2147483648", NumberScan::out_of_range, 0},
      {"-2147483649", NumberScan::out_of_range, 0},
      {"99999999999999999999999999", NumberScan::out_of_range, 0},
      // Digits past the range still need the rest of the text checked.
      {"99999999999A", NumberScan::not_number, 0},
      {"+12", NumberScan::not_number, 0},
      {"12A", NumberScan::not_number, 0},
      {"1-2", NumberScan::not_number, 0},
      {"--1", NumberScan::not_number, 0},
      {" 1", NumberScan::not_number, 0},
      {"#1", NumberScan::not_number, 0},
      {"/1", NumberScan::not_number, 0},
      {"1:", NumberScan::not_number, 0},
      {"0\xb0", NumberScan::not_number, 0},
  };
  for (const Case& c : cases) {
    std::int32_t value = -99;
    EXPECT_EQ(scan_number(c.text, value), c.scan) << c.text;
    EXPECT_EQ(value, c.scan == NumberScan::in_range ? c.value : -99) << c.text;
  }
  SourceReader r;
  r.current_token = "2147483648";
  std::int32_t value = 0;
  try {
    take_number(r, "2147483648", value);
    ADD_FAILURE();
  } catch (const AsmError& e) {
    EXPECT_EQ(e.text, "line 0 error: number out of range symbol 2147483648\n");
  }
}

TEST(Numbers, ReadNumber) {
  SourceReader r;
  reader_from_text(r, "-17 x12");
  EXPECT_EQ(read_number(r), -17);
  try {
    read_number(r);
    ADD_FAILURE();
  } catch (const AsmError& e) {
    EXPECT_EQ(e.text, "line 1 error: expect number symbol X12\n-17 x12\n");
  }
  try {
    read_number(r);
    ADD_FAILURE();
  } catch (const AsmError& e) {  // the end of the input keeps the last token and line
    EXPECT_EQ(e.text, "line 1 error: unexpected end of file symbol X12\n-17 x12\n");
  }
}

TEST(Diagnostics, BothFormats) {
  SourceReader r;
  reader_from_text(r, "one\r\n  Two\tthree  \r\n");
  next_token(r);
  next_token(r);
  EXPECT_EQ(format_diagnostic(r, "duplicate symbol"),
            "line 2 error: duplicate symbol symbol TWO\n  Two\tthree  \n");
  r.pass_no = 2;
  EXPECT_EQ(format_diagnostic(r, "undefine op"), "error: undefine op\n");

  SourceReader empty;
  reader_from_text(empty, "");
  EXPECT_FALSE(next_token(empty));
  EXPECT_EQ(format_diagnostic(empty, "unexpected end of file"),
            "line 0 error: unexpected end of file symbol \n");
}

}  // namespace
}  // namespace vorn
