// rollgrasp-batch: the simulator's keyboard machine driven by a key string,
// without a window. It runs the same start-up as rollgrasp, feeds the keys one
// by one, answers console waits at once, and can write the state after every
// key as JSON Lines.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "app/export.h"
#include "core/state.h"
#include "record/report.h"
#ifdef RG_HAVE_RENDER
#include "render/snapshot.h"
#include "render/window.h"
#endif

namespace {

using nlohmann::json;

const char* const kUsage =
    "usage: rollgrasp-batch [--state FILE] [--trajectory FILE.csv] [--snapshot FILE.png] "
    "(KEYS | --keys-file FILE)\n";

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

// Writes one whole line or nothing.
bool WriteLine(std::FILE* f, const json& o) {
  const std::string line = o.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  return std::fwrite(line.data(), 1, line.size(), f) == line.size() && std::fflush(f) == 0;
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
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
    if (!ReadFile(keysFile, &keys)) return UsageError("cannot read keys file " + keysFile);
  } else if (haveKeys) {
    std::string err;
    if (!DecodeKeys(keysArg, &keys, &err)) return UsageError(err);
  }

  if (!snapshotPath.empty()) {
#ifdef RG_HAVE_RENDER
    std::string why;
    if (!rg::DisplayAvailable(&why)) {
      std::fprintf(stderr, "rollgrasp-batch: --snapshot needs an X display (%s); run it under xvfb-run -a\n",
                   why.c_str());
      return 1;
    }
#else
    std::fprintf(stderr, "rollgrasp-batch: built without the drawing library; --snapshot is not available\n");
    return 1;
#endif
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

  // console waits are answered at once; the text of each key goes into its state
  // line and then to standard output
  rg::KeyDriver driver;
  const rg::Sim& s = driver.sim();
  auto passOn = [&driver] {
    const std::string& console = driver.console();
    std::fwrite(console.data(), 1, console.size(), stdout);
    std::fflush(stdout);
  };
  passOn();

  int status = 0;
  auto emit = [&]() {
    if (stateOut == nullptr) return true;
    if (!WriteLine(stateOut, driver.State())) {
      std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", statePath.c_str());
      status = 1;
      return false;
    }
    return true;
  };

  if (emit()) {
    for (char k : keys) {
      const bool quit = driver.Press(static_cast<unsigned char>(k));
      passOn();
      if (!emit()) break;
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
#ifdef RG_HAVE_RENDER
  if (status == 0 && !snapshotPath.empty() && RenderSnapshotPNG(s, snapshotPath.c_str()) != 0) status = 1;
#endif
  if (stateOut != nullptr && std::fclose(stateOut) != 0 && status == 0) {
    std::fprintf(stderr, "rollgrasp-batch: cannot write %s\n", statePath.c_str());
    status = 1;
  }
  return status;
}
