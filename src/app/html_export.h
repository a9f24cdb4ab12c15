// A run shared as one web page: the scene geometry and every stored row of the
// manipulation record, with a three.js viewer, in one self-contained HTML file
// that replays the run in any browser, offline. The viewer's own files (the page
// template and script, and the pinned three.js release that the build fetches)
// are read from a folder at run time; nothing of GL is used here.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/state.h"

namespace rg {

// What the page shows, as JSON: the hand and work (names and dimensions), the
// trajectory table of record/report.h (the CSV's columns and values, full
// precision), per stored row and finger the posed geometry (joint positions and
// axes, and the contact of that row on the last link and on the work in their own
// frames, for the traces), the run's end status and the window's camera.
nlohmann::json ReplayData(const Sim& s);

// The viewer's files, read whole.
struct ViewerAssets {
  std::string dir;        // where they were found
  std::string page;       // the page template (viewer.html)
  std::string script;     // the viewer (viewer.js)
  std::string three;      // three.module.min.js
  std::string orbit;      // OrbitControls.js
  std::string licence;    // three.js's licence text
  std::string version;    // three.js's version
};

// Finds the viewer's folder: $RG_VIEWER_DIR when set, else viewer/ beside the
// running executable, else the build's own folder compiled in. False with *why
// (naming the folders tried) when a file is missing or unreadable.
bool FindViewerAssets(ViewerAssets* out, std::string* why);

// The whole page for s. Text embedded in <script> elements is kept from ending
// them early ("</script" and "<!--" are written so that the HTML parser passes
// over them and the script reads the same).
std::string ReplayHtml(const Sim& s, const ViewerAssets& assets);

// Writes the page of s to path whole or not at all (core/output_file.h): a failed
// write leaves no half-written page, and a path that is no regular file is refused.
// False with *why.
bool WriteReplayHtml(const Sim& s, const std::string& path, std::string* why);

}  // namespace rg
