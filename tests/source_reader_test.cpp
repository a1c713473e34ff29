#include "source_reader/source_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "source_reader/scan.h"
#include "source_reader/source_reader_internal.h"

namespace vorn {
namespace {

// All tokens of `text`, with the line number each came from; given the text's `lines`, also
// checks that the line a diagnostic would show with each token is the token's own.
std::vector<std::pair<std::string, std::int64_t>> tokens_of(
    SourceReader& r, const std::vector<std::string>* lines = nullptr) {
  std::vector<std::pair<std::string, std::int64_t>> out;
  while (next_token(r)) {
    out.emplace_back(r.current_token, reader_line_no(r));
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
    EXPECT_EQ(reader_line_no(r), 11);
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
    if (reader_line_no(r) > 0) {
      EXPECT_EQ(reader_line(r), last) << round;
    }
    Stream stream{text};
    SourceReader streamed;
    streamed.block_size = round < 400 ? 16 + round % 200 : READ_BLOCK_SIZE - 401 + round;
    reader_from_stream(streamed, Stream::read, &stream);
    ASSERT_EQ(tokens_of(streamed, &lines), want) << round;
    if (reader_line_no(streamed) > 0) {
      EXPECT_EQ(reader_line(streamed), last) << round;
    }
  }
}

// Catches a vector scanner that disagrees with the plain loops (a mask bit off by one, a block
// read at the wrong offset, a backward search that misses the last newline of a read, a byte
// upper-cased or taken for a token's end by a signed compare), on
// random blocks of the bytes that matter at every alignment: the plain loops are what
// WebAssembly and other processors run.
TEST(Tokenizer, VectorScanAgreesWithThePlainLoopsAtEveryAlignment) {
  const char alphabet[] = {' ', '\t', '\n', '\r', ';', 'a', ' ', ' '};
  std::uint32_t seed = 11;
  char buf[256];
  for (int round = 0; round < 200; ++round) {
    for (char& c : buf) {
      seed = seed * 1103515245u + 12345u;
      c = alphabet[(seed >> 16) % (round % 2 == 0 ? 8 : 3)];  // every other round: blanks
    }
    for (int at = 0; at < 64; ++at) {
      const char* p = buf + at;
      const scan::Masks v = scan::classify64(p);
      const scan::Masks plain = scan::classify64_plain(p);
      ASSERT_EQ(v.newline, plain.newline) << round << " " << at;
      ASSERT_EQ(v.blank, plain.blank) << round << " " << at;
      ASSERT_EQ(v.semicolon, plain.semicolon) << round << " " << at;
      ASSERT_EQ(v.cr, plain.cr) << round << " " << at;
      ASSERT_EQ(scan::bit_count(v.blank), std::popcount(v.blank)) << round << " " << at;
      const char* end = p + (at * 7 + round) % 180;
      ASSERT_EQ(scan::skip_blanks(p, end), scan::skip_blanks_plain(p, end)) << round << " " << at;
      const auto n = static_cast<std::size_t>(end - p);
      ASSERT_EQ(scan::last_newline(p, n), scan::last_newline_plain(p, n)) << round << " " << at;
    }
  }
  // The token step's 16 bytes, on the bytes at the edges of "a" to "z", of 0x21 and of the
  // sign bit.
  const char edges[] = {'`', 'a',    'z',    '{',    '@',    'A',  'Z',  '\x01', ' ',
                        '!', '\x7f', '\x80', '\xe1', '\xff', '\t', '\n', '\r',   ';'};
  for (int round = 0; round < 50; ++round) {
    for (char& c : buf) {
      seed = seed * 1103515245u + 12345u;
      c = edges[(seed >> 16) % (round % 2 == 0 ? std::size(edges) : 6)];  // or no stop at all
    }
    for (int at = 0; at < 64; ++at) {
      char upper[16];
      char upper_plain[16];
      ASSERT_EQ(scan::token_head16(buf + at, upper),
                scan::token_head16_plain(buf + at, upper_plain))
          << round << " " << at;
      ASSERT_EQ(std::string(upper, 16), std::string(upper_plain, 16)) << round << " " << at;
      ASSERT_EQ(scan::blanks_before16(buf + at), scan::blanks_before16_plain(buf + at))
          << round << " " << at;
    }
  }
}

// Also catches the inline conversions of short numbers, from the text and from a token's
// head, parting from the full scan.
TEST(Numbers, IsNumber) {
  SourceReader r;
  const auto agree = [&](const char* text) {
    std::int32_t scanned = -1;
    std::int32_t taken = -1;
    const bool number = scan_number(text, scanned) != NumberScan::not_number;
    EXPECT_EQ(take_number(r, text, taken), number) << text;
    if (number) {
      EXPECT_EQ(taken, scanned) << text;
    }
    // The same text as a token, and after a prefix, converted from the token's head.
    char kept[40] = {'#'};  // a token is kept with eight bytes at hand past its start
    std::memcpy(kept + 1, text, std::strlen(text));
    for (std::size_t skip : {0, 1}) {
      r.current_token = std::string_view(kept + 1 - skip, std::strlen(text) + skip);
      r.current_head = name_head(r.current_token);
      taken = -1;
      EXPECT_EQ(take_token_number(r, skip, taken), number) << text;
      if (number) {
        EXPECT_EQ(taken, scanned) << text;
      }
    }
    return number;
  };
  for (const char* yes : {"12", "-12", "007", "2024", "-", "", "-0", "987654321", "0000000009", "9",
                          "12345678", "99999999", "1234567"}) {
    EXPECT_TRUE(agree(yes)) << yes;
  }
  // "99999999999A": digits past the 32-bit range still need the rest of the text checked.
  // Bytes next to "0" and "9", at each end of an eight-byte head.
  for (const char* no : {"+12", "12A", "1-2", "--1", " 1", "#1", "99999999999A", "12345678/",
                         "1234567:", "/1234567", "0\xb0", "5 "}) {
    EXPECT_FALSE(agree(no)) << no;
  }
}

TEST(Numbers, ValueAndRange) {
  SourceReader r;
  EXPECT_EQ(number_value(r, "-"), 0);
  EXPECT_EQ(number_value(r, ""), 0);
  EXPECT_EQ(number_value(r, "0000000000000000000042"), 42);
  EXPECT_EQ(number_value(r, "2147483647"), 2147483647);
  EXPECT_EQ(number_value(r, "-2147483648"), INT32_MIN);
  for (const char* big : {"2147483648", "-2147483649", "99999999999999999999999999"}) {
    r.current_token = big;
    try {
      number_value(r, big);
      ADD_FAILURE() << big;
    } catch (const AsmError& e) {
      EXPECT_EQ(e.text, std::string("line 0 error: number out of range symbol ") + big + "\n");
    }
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

// Catches the short-number step taking too many or too few bytes (eight digits, a digit run
// that a letter or ":" goes on), a wrong value, or a wrong place for the token after it.
TEST(Numbers, ReadNumberStepAgreesWithTheScan) {
  for (const char* text : {"0", "12", "007", "12345678", "99999999", "123456789", "-12", "12A",
                           "1234567:", "12345678/", "0\xb0", "12;"}) {
    for (const char* after : {" NEXT\n", "\t \tNEXT\n", "\nNEXT\n"}) {
      SourceReader r;
      const std::string line = std::string("N ") + text + after;
      reader_from_text(r, line);
      take_token(r);
      std::int32_t expected = 0;
      if (scan_number(text, expected) == NumberScan::not_number) {
        EXPECT_THROW(read_number(r), AsmError) << line;
        continue;
      }
      EXPECT_EQ(read_number(r), expected) << line;
      EXPECT_EQ(r.current_token, text) << line;
      take_token(r);
      EXPECT_EQ(r.current_token, "NEXT") << line;
    }
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
