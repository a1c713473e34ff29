// Assembles each file named on the command line in-process, as the WebAssembly module does,
// and prints one JSON line per file: {"ok": ..., "output": BASE64, "object": BASE64}, the object
// path being "fuzz.obj". The module's equivalence test compares its own results with these.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "assembler/assembler.h"

namespace {

std::string base64(const std::string& bytes) {
  static const char ALPHABET[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t k = 0;
  for (; k + 2 < bytes.size(); k += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[k]) << 16) |
                 (static_cast<unsigned char>(bytes[k + 1]) << 8) |
                 static_cast<unsigned char>(bytes[k + 2]);
    for (int s = 18; s >= 0; s -= 6) out.push_back(ALPHABET[(v >> s) & 63]);
  }
  if (k < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[k]) << 16;
    if (k + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[k + 1]) << 8;
    out.push_back(ALPHABET[(v >> 18) & 63]);
    out.push_back(ALPHABET[(v >> 12) & 63]);
    out.push_back(k + 1 < bytes.size() ? ALPHABET[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    std::ifstream in(argv[k], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    vorn::RunResult r = vorn::assemble_text(text.str(), "fuzz.obj");
    std::cout << "{\"ok\":" << (r.ok ? "true" : "false") << ",\"output\":\"" << base64(r.output)
              << "\",\"object\":\"" << base64(r.object) << "\"}\n";
  }
  return 0;
}
