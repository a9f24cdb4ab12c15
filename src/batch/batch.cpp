// rollgrasp-batch: the simulator's keyboard machine driven by a key string,
// without a window. It runs the same start-up as rollgrasp, feeds the keys one
// by one, answers console waits at once, and can write the state after every
// key as JSON Lines.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "core/console.h"
#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "hand/hand.h"
#include "record/report.h"
#include "render/snapshot.h"
#include "render/window.h"

namespace {

using nlohmann::json;

const char* const kUsage =
    "usage: rollgrasp-batch [--state FILE] [--trajectory FILE.csv] [--snapshot FILE.png] "
    "(KEYS | --keys-file FILE)\n";

const char* const kHelp =
    "\n"
    "Runs the simulator's start-up and feeds KEYS to its key machine one by one,\n"
    "without a window; console waits are answered at once.\n"
    "\n"
    "  KEYS                 the keys; \\e is Escape, \\\\ a backslash, \\xHH any byte\n"
    "  --keys-file FILE     every byte of FILE is one key\n"
    "  --state FILE         the state after start-up and after every key, as JSON Lines\n"
    "  --trajectory FILE    the stored manipulation rows as CSV\n"
    "  --snapshot FILE.png  the final frame as the window draws it (needs an X display)\n"
    "  -h, --help           print this help and exit\n"
    "\n"
    "Exit status: 0 done, 1 an output file cannot be written, 2 bad arguments.\n";

int UsageError(const std::string& why) {
  std::fprintf(stderr, "rollgrasp-batch: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// Decodes KEYS: "\e" is Escape, "\\" a backslash, "\xHH" any byte.
bool DecodeKeys(const std::string& in, std::string* out, std::string* err) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out->push_back(in[i]);
      continue;
    }
    if (i + 1 >= in.size()) {
      *err = "bad escape at the end of KEYS";
      return false;
    }
    const char c = in[++i];
    if (c == 'e') {
      out->push_back('\x1b');
    } else if (c == '\\') {
      out->push_back('\\');
    } else if (c == 'x' && i + 2 < in.size() && std::isxdigit(static_cast<unsigned char>(in[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(in[i + 2]))) {
      out->push_back(static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      *err = std::string("bad escape \\") + c + " in KEYS";
      return false;
    }
  }
  return true;
}

// A key or flag character as a one-character JSON string; bytes above 127 map to
// the code point of the same number so that the text stays valid UTF-8.
json KeyString(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  std::string s;
  if (u < 0x80) {
    s.push_back(c);
  } else {
    s.push_back(static_cast<char>(0xC0 | (u >> 6)));
    s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
  return s;
}

// A flag character: the zero character (not set) is the empty string.
json CharString(char c) {
  if (c == '\0') return "";
  return KeyString(c);
}

json TwoChars(const char* c) {
  std::string s;
  for (int i = 0; i < 2; ++i) s += CharString(c[i]).get<std::string>();
  return s;
}

json Vec3(const double v[3]) { return json::array({v[0], v[1], v[2]}); }

json Mat3(const double E[3][3]) { return json::array({Vec3(E[0]), Vec3(E[1]), Vec3(E[2])}); }

json Joints(const rg::Sim& s, const double* q) {
  json a = json::array();
  for (int j = 1; j <= s.nJ; ++j) a.push_back(q[j]);
  return a;
}

json StateObject(const rg::Sim& s, const json& key, const std::string& console, int redraws) {
  json o;
  o["key"] = key;
  o["console"] = console;
  o["redraws"] = redraws;
  o["sgnCAL"] = CharString(s.sgnCAL);
  o["sgnCALold"] = CharString(s.sgnCALold);
  o["sgnCALS"] = CharString(s.sgnCALS);
  o["sgnCALGEnd"] = CharString(s.sgnCALGEnd);
  o["sgnGRASP"] = CharString(s.sgnGRASP);
  o["sgnCALGChk"] = CharString(s.sgnCALGChk);
  o["sgnMANIP"] = CharString(s.sgnMANIP);
  o["sgnGC"] = CharString(s.sgnGC);
  o["sgnCalColl"] = CharString(s.sgnCalColl);
  o["sgnFJ"] = TwoChars(s.sgnFJ);
  o["HAND1"] = s.HAND1;
  o["nF"] = s.nF;
  o["nJ"] = s.nJ;
  o["nFIN"] = s.nFIN;
  o["cntQ"] = s.cntQ;
  o["COLLkf"] = s.COLLkf;
  o["cntManip0"] = s.cntManip0;
  o["cntMainip1"] = s.cntMainip1;
  o["cntRepeat"] = s.cntRepeat;
  o["WORK1"] = CharString(s.WORK1);
  o["ManipTS"] = s.ManipTS;
  o["al0"] = s.al0;
  o["bet0"] = s.bet0;
  o["qam0"] = s.qam0;
  o["WorkVel"] = std::string(s.WorkVel);
  o["rwG0"] = Vec3(s.rwG0);
  o["rwG"] = Vec3(s.rwG);
  o["RWW"] = Vec3(s.RWW);
  o["vw"] = Vec3(s.vw);
  o["omww"] = Vec3(s.omww);
  o["omw"] = Vec3(s.omw);
  o["rot"] = Vec3(s.rot);
  o["trans"] = Vec3(s.trans);
  o["EwG0"] = Mat3(s.EwG0);
  o["EwG"] = Mat3(s.EwG);
  o["EWW"] = Mat3(s.EWW);
  o["ManipRW2"] = Vec3(s.ManipRW2[1]);
  o["ManipEW2"] = Mat3(s.ManipEW2[1]);
  o["dt"] = s.dt;
  json fingers = json::array();
  for (int kf = 1; kf <= s.nF; ++kf) {
    json f;
    f["kf"] = kf;
    f["qq0"] = Joints(s, s.qq0[kf]);
    f["qf"] = Joints(s, s.qf[kf]);
    f["q"] = Joints(s, s.qqa2[1][kf]);
    f["GGTYPE"] = TwoChars(s.GGTYPE[kf]);
    f["sgnGRASPM"] = CharString(s.sgnGRASPM[kf]);
    f["sgnUML"] = CharString(s.sgnUML[kf]);
    f["sgnC"] = CharString(s.sgnC[kf]);
    const rg::ContactPrm& p = s.ManipPrm2[1][kf];
    f["Lf"] = p.Lf;
    f["fif"] = p.fif;
    f["psif"] = p.psif;
    f["Lw"] = p.Lw;
    f["Ltw"] = p.Ltw;
    f["thw"] = p.thw;
    f["CPNT"] = Vec3(s.ManipCPNTA2[1][kf]);
    f["NW"] = Vec3(s.ManipNWA2[1][kf]);
    const rg::FingerPose P = rg::Findirect_kineR(s, kf, s.qqa2[1][kf]);
    json ja = json::array();
    for (int j = 0; j <= s.nJ + 1; ++j) ja.push_back(Vec3(P.JA[j]));
    f["JA"] = ja;
    fingers.push_back(f);
  }
  o["fingers"] = fingers;
  return o;
}

// Writes one whole line or nothing.
bool WriteLine(std::FILE* f, const json& o) {
  const std::string line = o.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  return std::fwrite(line.data(), 1, line.size(), f) == line.size() && std::fflush(f) == 0;
}

// Reads a whole regular file (or a pipe); false with *why for anything else: a
// directory, a missing or unreadable file, a read error.
bool ReadFile(const std::string& path, std::string* out, std::string* why) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *why = "it is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = std::strerror(errno);
    return false;
  }
  try {
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception& e) {
    *why = e.what();
    return false;
  }
  if (in.bad()) {
    *why = "read error";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string statePath, keysFile, keysArg, snapshotPath, trajectoryPath;
  bool haveKeys = false, haveKeysFile = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* dst) {
      if (i + 1 >= argc) return false;
      *dst = argv[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--state") {
      if (!value(&statePath)) return UsageError("--state needs a file name");
    } else if (a == "--trajectory") {
      if (!value(&trajectoryPath)) return UsageError("--trajectory needs a file name");
    } else if (a == "--snapshot") {
      if (!value(&snapshotPath)) return UsageError("--snapshot needs a file name");
    } else if (a == "--keys-file") {
      if (!value(&keysFile)) return UsageError("--keys-file needs a file name");
      haveKeysFile = true;
    } else if (a == "--") {
      if (i + 1 < argc) {
        keysArg = argv[++i];
        haveKeys = true;
      }
      if (i + 1 < argc) return UsageError("more than one KEYS argument");
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return UsageError("unknown option " + a);
    } else {
      if (haveKeys) return UsageError("more than one KEYS argument");
      keysArg = a;
      haveKeys = true;
    }
  }
  if (haveKeys && haveKeysFile) return UsageError("give either KEYS or --keys-file, not both");

  std::string keys;
  if (haveKeysFile) {
    std::string why;
    if (!ReadFile(keysFile, &keys, &why)) return UsageError("cannot read keys file " + keysFile + ": " + why);
  } else if (haveKeys) {
    std::string err;
    if (!DecodeKeys(keysArg, &keys, &err)) return UsageError(err);
  }

  if (!snapshotPath.empty()) {
    std::string why;
    if (!rg::DisplayAvailable(&why)) {
      std::fprintf(stderr, "rollgrasp-batch: --snapshot needs an X display (%s); run it under xvfb-run -a\n",
                   why.c_str());
      return 1;
    }
  }

  // Output files are opened before the run so that an unwritable path fails at once.
  std::FILE* trajectoryOut = nullptr;
  if (!trajectoryPath.empty()) {
    trajectoryOut = std::fopen(trajectoryPath.c_str(), "wb");
    if (trajectoryOut == nullptr) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s: %s\n", trajectoryPath.c_str(), std::strerror(errno));
      return 1;
    }
  }

  std::FILE* stateOut = nullptr;
  if (!statePath.empty()) {
    stateOut = std::fopen(statePath.c_str(), "wb");
    if (stateOut == nullptr) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s: %s\n", statePath.c_str(), std::strerror(errno));
      return 1;
    }
  }

  auto sim = std::make_unique<rg::Sim>();
  rg::Sim& s = *sim;
  int redraws = 0;
  s.redraw = [&redraws] { ++redraws; };
  // console waits are answered at once; the text of each key is kept for its state
  // line and then written to standard output
  std::string console;
  auto passOn = [&s, &console] {
    console = s.con.text();
    s.con.ClearText();
    std::fwrite(console.data(), 1, console.size(), stdout);
    std::fflush(stdout);
  };
  rg::StartUpQuiet(s);
  passOn();

  int status = 0;
  auto emit = [&](const json& key) {
    if (stateOut == nullptr) return true;
    if (!WriteLine(stateOut, StateObject(s, key, console, redraws))) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", statePath.c_str());
      status = 1;
      return false;
    }
    return true;
  };

  if (emit(nullptr)) {
    for (char k : keys) {
      redraws = 0;
      const bool quit = rg::keyboard(s, static_cast<unsigned char>(k), 0, 0);
      passOn();
      if (!emit(KeyString(k))) break;
      if (quit) break;
    }
  }

  if (trajectoryOut != nullptr) {
    const std::string csv = rg::TrajectoryCsv(s);
    const bool ok = std::fwrite(csv.data(), 1, csv.size(), trajectoryOut) == csv.size();
    if ((std::fclose(trajectoryOut) != 0 || !ok) && status == 0) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", trajectoryPath.c_str());
      status = 1;
    }
  }
  if (status == 0 && !snapshotPath.empty() && RenderSnapshotPNG(s, snapshotPath.c_str()) != 0) status = 1;
  if (stateOut != nullptr && std::fclose(stateOut) != 0 && status == 0) {
    std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", statePath.c_str());
    status = 1;
  }
  return status;
}
