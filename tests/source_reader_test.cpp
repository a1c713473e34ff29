#include "source_reader/source_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "symtab/name_hash.h"

namespace vorn {
namespace {

// The line that a diagnostic shows now.
std::string shown_line(const SourceReader& r) {
  try {
    report_error(r, "m");
  } catch (const AsmError& e) {
    const std::size_t nl = e.text.find('\n');
    return e.text.substr(nl + 1, e.text.size() - nl - 2);
  }
  return "(none)";
}

// All tokens of `text`, with the line number each came from; given the text's `lines`, also
// checks that the line a diagnostic would show with each token is the token's own, and the
// hash the reader made as it copied the token.
std::vector<std::pair<std::string, std::int64_t>> tokens_of(
    SourceReader& r, const std::vector<std::string>* lines = nullptr) {
  std::vector<std::pair<std::string, std::int64_t>> out;
  while (scan_token(r)) {
    out.emplace_back(r.current_token, r.line_no);
    if (lines != nullptr) {
      EXPECT_EQ(shown_line(r), lines->at(static_cast<std::size_t>(out.back().second - 1)));
      EXPECT_EQ(r.token_hash, name_hash(r.current_token));
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
    reader_from_stream(r, Stream::read, &stream, block);
    EXPECT_EQ(tokens_of(r), (Tokens{{"ALPHA", 1},
                                    {"BETA", 1},
                                    {";X", 7},
                                    {";\rX", 8},
                                    {"\r", 9},
                                    {std::string(100, 'Q'), 10},
                                    {"GAMMA", 10}}))
        << "block size " << block;
    EXPECT_EQ(shown_line(r), "  ; last comment");
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

// Catches a reader that mistakes a line at a read's edge, a token store that loses bytes as it
// grows or upper-cases more than "a" to "z", hashes made wrong as the token is copied, and a
// line entered wrongly: random runs of blank, comment and CR LF lines with a few tokens, at
// every alignment, as text and streamed in small blocks, give the tokens, line numbers, lines
// shown with them and last line of the plain rules. The last rounds are sources of a few hundred KB,
// so that the in-memory reader too reads on past full reads, and the line kept for diagnostics
// moves with the line a read cut.
TEST(Tokenizer, ReaderAgreesWithThePlainRules) {
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
      EXPECT_EQ(shown_line(r), last) << round;
    }
    Stream stream{text};
    SourceReader streamed;
    reader_from_stream(streamed, Stream::read, &stream,
                       round < 400 ? 16 + round % 200 : READ_BLOCK_SIZE - 401 + round);
    ASSERT_EQ(tokens_of(streamed, &lines), want) << round;
    if (streamed.line_no > 0) {
      EXPECT_EQ(shown_line(streamed), last) << round;
    }
  }
}

TEST(Numbers, WhatIsANumber) {
  struct Case {
    const char* text;
    bool number;
    std::int32_t value;  // or, with "out of range", the error
  } cases[] = {
      {"12", true, 12},
      {"-12", true, -12},
      {"007", true, 7},
      {"-", true, 0},
      {"", true, 0},
      {"-0", true, 0},
      {"0000000000000000000042", true, 42},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},
      // Digits past the range still need the rest of the text checked.
      {"99999999999A", false, 0},
      {"+12", false, 0},
      {"12A", false, 0},
      {"1-2", false, 0},
      {"--1", false, 0},
      {" 1", false, 0},
      {"#1", false, 0},
      {"/1", false, 0},
      {"1:", false, 0},
      {"0\xb0", false, 0},
  };
  SourceReader r;
  reader_from_text(r, "");
  for (const Case& c : cases) {
    std::int32_t value = -99;
    EXPECT_EQ(take_number(r, c.text, value), c.number) << c.text;
    EXPECT_EQ(value, c.number ? c.value : -99) << c.text;
  }
  for (const char* past : {"2147483648", "-2147483649", "99999999999999999999999999"}) {
    std::int32_t value = 0;
    try {
      take_number(r, past, value);
      ADD_FAILURE() << past;
    } catch (const AsmError& e) {
      EXPECT_EQ(e.text, "line 0 error: number out of range symbol \n") << past;
    }
  }
}

TEST(Numbers, TakeNumberToken) {
  SourceReader r;
  reader_from_text(r, "-17 x12");
  EXPECT_EQ(take_number_token(r), -17);
  try {
    take_number_token(r);
    ADD_FAILURE();
  } catch (const AsmError& e) {
    EXPECT_EQ(e.text, "line 1 error: expect number symbol X12\n-17 x12\n");
  }
  try {
    take_number_token(r);
    ADD_FAILURE();
  } catch (const AsmError& e) {  // the end of the input keeps the last token and line
    EXPECT_EQ(e.text, "line 1 error: unexpected end of file symbol X12\n-17 x12\n");
  }
}

TEST(Diagnostics, PassOneShowsTheLineAndToken) {
  SourceReader r;
  reader_from_text(r, "one\r\n  Two\tthree  \r\n");
  scan_token(r);
  scan_token(r);
  try {
    report_error(r, "duplicate symbol");
  } catch (const AsmError& e) {
    EXPECT_EQ(e.text, "line 2 error: duplicate symbol symbol TWO\n  Two\tthree  \n");
  }
  SourceReader empty;
  reader_from_text(empty, "");
  EXPECT_FALSE(scan_token(empty));
  try {
    report_error(empty, "unexpected end of file");
  } catch (const AsmError& e) {
    EXPECT_EQ(e.text, "line 0 error: unexpected end of file symbol \n");
  }
}

}  // namespace
}  // namespace vorn
