#include "app/export.h"

#include "app/keyboard.h"
#include "app/startup.h"
#include "hand/hand.h"
#include "record/grasp_quality.h"

namespace rg {
namespace {

using nlohmann::json;

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

json Joints(const Sim& s, const double* q) {
  json a = json::array();
  for (int j = 1; j <= s.nJ; ++j) a.push_back(q[j]);
  return a;
}

}  // namespace

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

json StateObject(const Sim& s, const json& key, const std::string& console, int redraws) {
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
    const ContactPrm& p = s.ManipPrm2[1][kf];
    f["Lf"] = p.Lf;
    f["fif"] = p.fif;
    f["psif"] = p.psif;
    f["Lw"] = p.Lw;
    f["Ltw"] = p.Ltw;
    f["thw"] = p.thw;
    f["alw"] = p.alw;
    f["betw"] = p.betw;
    f["CPNT"] = Vec3(s.ManipCPNTA2[1][kf]);
    f["NW"] = Vec3(s.ManipNWA2[1][kf]);
    const FingerPose P = Findirect_kineR(s, kf, s.qqa2[1][kf]);
    json ja = json::array();
    for (int j = 0; j <= s.nJ + 1; ++j) ja.push_back(Vec3(P.JA[j]));
    f["JA"] = ja;
    fingers.push_back(f);
  }
  o["fingers"] = fingers;
  // the grasp's quality as it stands (nothing holds before the grasp is complete)
  const QualityResult q = GraspQualityNow(s);
  o["quality"] = json{{"force_closure", q.force_closure},
                      {"epsilon", q.epsilon},
                      {"volume", q.volume},
                      {"model", ContactModelName(q.settings.model)},
                      {"mu", q.settings.mu},
                      {"torsion", q.settings.torsion},
                      {"cone_edges", q.settings.cone_edges}};
  return o;
}

KeyDriver::KeyDriver() : sim_(std::make_unique<Sim>()) {
  sim_->redraw = [this] { ++redraws_; };
  StartUpQuiet(*sim_);
  TakeConsole();
}

bool KeyDriver::Press(unsigned char key) {
  redraws_ = 0;
  const bool quit = keyboard(*sim_, key, 0, 0);
  key_ = KeyString(static_cast<char>(key));
  TakeConsole();
  return quit;
}

json KeyDriver::State() const { return StateObject(*sim_, key_, console_, redraws_); }

void KeyDriver::TakeConsole() {
  console_ = sim_->con.text();
  sim_->con.ClearText();
}

}  // namespace rg
