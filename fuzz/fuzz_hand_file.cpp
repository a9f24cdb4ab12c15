// libFuzzer target: arbitrary bytes as a hand description file, written to a file
// and read back through LoadHandFile as the programs read --hand FILE. The reader
// either refuses them with one printable line that names the file and a line in
// it, or gives a model of the family; a model is then selected in a started
// simulation, its fingers grasp the work and roll it a few steps (a file's sizes
// are its own), after which the state must be sane.
//
// An input that starts with byte 0xFF (never the first byte of UTF-8 text) is a
// shape instead: a few bytes of depth, decoys and padding, then a description,
// from which the target builds a file too deep or too large for a mutated one to
// reach: up to 65 535 levels nested inside the first <link> and up to 1 MB of
// padding. A file beyond kMaxHandFileBytes must be refused for its size.
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/hand_choice.h"
#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "hand/hand_file.h"
#include "sanity.h"

namespace {

const rg::Sim& Pristine() {
  static std::unique_ptr<rg::Sim> s = [] {
    auto p = std::make_unique<rg::Sim>();
    rg::StartUpQuiet(*p);
    return p;
  }();
  return *s;
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "hand file fuzzer: %s\n", why.c_str());
  std::abort();
}

bool Finite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// The shape's header, each field one byte:
//   flags  1: "\r\n" line ends, 2: decoys on each level (a comment, CDATA, a
//          processing instruction and quoted values that look like tags),
//          4: an empty element on each level, 8: padding as a comment (else spaces)
//   depth  two bytes; levels = the second alone when the first is 0 (so the
//          bound, 32 levels, is near), else both as one number up to 65 535
//   pad    kilobytes of padding (4 each) and then bytes (16 each), up to 1 MB
std::string Shaped(const uint8_t* data, size_t size) {
  uint8_t h[6] = {};
  for (size_t i = 0; i < 6 && i < size; ++i) h[i] = data[i];
  const std::string body(reinterpret_cast<const char*>(data) + std::min<size_t>(size, 6),
                         size - std::min<size_t>(size, 6));
  const uint8_t flags = h[0];
  const int levels = h[1] == 0 ? h[2] : h[1] << 8 | h[2];
  const size_t pad = size_t{h[3]} * 4096 + size_t{h[4]} * 16;
  const std::string eol = flags & 1 ? "\r\n" : "\n";
  std::string level;
  if (flags & 4) level += "<e/>";
  if (flags & 2) level += "<!-- <z> --><![CDATA[<z>]]><?z?>";
  level += (flags & 2) ? "<x a='>' b=\"<y>\">" : "<x>";
  // what lies beyond the largest file is never read: the levels stop there
  const size_t most = rg::kMaxHandFileBytes + 1;
  std::string nest;
  int opened = 0;
  for (; opened < levels && nest.size() < most; ++opened) nest.append(level).append(eol);
  for (int k = 0; k < opened && nest.size() < most; ++k) nest += "</x>";
  if (pad > 0)
    nest += (flags & 8) ? "<!--" + std::string(std::min(pad, most), ' ') + "-->"
                        : std::string(std::min(pad, most), ' ');
  // inside the first link, where a hand file may hold elements the reader ignores
  const size_t link = body.find("<link");
  const size_t end = link == std::string::npos ? std::string::npos : body.find('>', link);
  std::string text = body;
  text.insert(end == std::string::npos ? body.size() : end + 1, nest);
  return text;
}

// where the file is written: one per fuzzing process
const std::string& FilePath() {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("rg-fuzz-hand-" + std::to_string(getpid()) + ".urdf"))
                                      .string();
  return path;
}

// How deep TinyXML nests the elements of text, counted without recursion (0: it
// finds no element).
int TinyXmlDepth(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str());
  int deepest = 0;
  std::vector<std::pair<const TiXmlElement*, int>> open;
  if (doc.RootElement() != nullptr) open.emplace_back(doc.RootElement(), 1);
  for (const TiXmlElement* e = doc.RootElement(); e != nullptr; e = e->NextSiblingElement())
    if (e != doc.RootElement()) open.emplace_back(e, 1);
  while (!open.empty()) {
    const auto [e, depth] = open.back();
    open.pop_back();
    deepest = std::max(deepest, depth);
    for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement())
      open.emplace_back(c, depth + 1);
  }
  return deepest;
}

// Whether the refusal is one line of printable text (no C0 byte, DEL, or C1 as UTF-8).
bool Printable(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return false;
    if (c == 0xC2 && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0x80)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool shaped = size > 0 && data[0] == 0xFF;
  const std::string text =
      shaped ? Shaped(data + 1, size - 1) : std::string(reinterpret_cast<const char*>(data), size);
  const std::string& path = FilePath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
      std::fclose(f) != 0)
    Fail("cannot write " + path);
  const rg::HandFileResult r = rg::LoadHandFile(path);
  if (!r.model) {
    if (r.error.rfind(path + ":", 0) != 0 || !Printable(r.error))
      Fail("a refusal that is not one printable line naming the file: " + r.error);
    const bool tooLarge = text.size() > rg::kMaxHandFileBytes;
    if (tooLarge != (r.error.find(": more than ") == path.size()))
      Fail("a file of " + std::to_string(text.size()) + " bytes refused as: " + r.error);
    if (tooLarge) return 0;
    // any other refusal names a line of the file
    int lines = 1;
    for (size_t i = 0; (i = text.find('\n', i)) != std::string::npos; ++i) ++lines;
    for (size_t i = 0; (i = text.find('\r', i)) != std::string::npos; ++i)
      lines += i + 1 == text.size() || text[i + 1] != '\n';
    const int line = std::atoi(r.error.c_str() + path.size() + 1);
    if (line < 1 || line > lines) Fail("a refusal that names no line of the file: " + r.error);
    // a file the first pass let through to the parsers (TinyXML's own complaints
    // begin "Error") nests no deeper than its bound
    const std::string said = r.error.substr(path.size());
    if (said.find("not well-formed XML: Error") == std::string::npos)
      for (const char* early :
           {"nested", "not well-formed XML", "<!", "UTF-8", "control character"})
        if (said.find(early) != std::string::npos) return 0;
  }
  if (TinyXmlDepth(text) > rg::kMaxHandFileDepth)
    Fail("the parsers saw a file nested deeper than the bound: " + r.error);
  if (!r.model) return 0;
  const rg::Model& m = *r.model;
  if (m.nF < 2 || m.nF > rg::kMaxFingers || m.nJ != 4) Fail("a model outside the family");
  for (int kf = 1; kf <= m.nF; ++kf)
    if (!Finite(m.mountSphere[kf].base, 3) || !Finite(&m.mountSphere[kf].frame[0][0], 9) ||
        !Finite(&m.mountCylinder[kf].frame[0][0], 9) || !Finite(m.qInit[kf], rg::kSlots))
      Fail("a model with a non-finite mount or angle");
  static auto sim = std::make_unique<rg::Sim>();
  *sim = Pristine();
  rg::SelectHandModel(*sim, r.model);
  for (char k : std::string("G") + std::string(m.nF, 's') + "Asss") rg::keyboard(*sim, k, 0, 0);
  sim->con.ClearText();
  const std::string bad = rgfuzz::CheckSane(*sim);
  if (!bad.empty()) Fail("insane state after the grasp and rolling: " + bad);
  return 0;
}
