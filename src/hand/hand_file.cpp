// The hand description reader: TinyXML gives every element's line and the origins'
// numbers as written (urdfdom keeps a pose as a quaternion, whose round trip
// changes last bits), urdfdom checks the description and builds the link tree the
// fingers are read from.
#include "hand/hand_file.h"

#include <console_bridge/console.h>
#include <tinyxml.h>
#include <urdf_parser/urdf_parser.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "numerics/vecmat.h"

namespace rg {

namespace {

// Frame entries nearer to 0 than this are the exact zeros of a turn by a multiple
// of a right angle (cos(pi/2) computes as 6e-17).
constexpr double kAxisSnap = 1e-15;
// relative tolerance between two lengths that must agree (a cylinder and the
// joint offset it spans)
constexpr double kLengthTol = 1e-9;
// joints of every finger
constexpr int kFingerJoints = 4;
constexpr int kMinFingers = 2;
// Largest link length or radius, palm radius or thickness accepted, and the
// largest offset of a joint's origin along each axis, in length units: far beyond
// any hand, and small enough that no squared distance of the computations comes
// near overflow.
constexpr double kMaxSize = 1e4;
// Smallest size accepted: a thousandth of a length unit, where the built-in hands'
// sizes are tens of units and the solvers' tolerances are far below it.
constexpr double kMinSize = 1e-3;
// Largest magnitude of an origin's roll, pitch or yaw and of an initial angle, in
// radians: one whole turn either way reaches every frame.
constexpr double kMaxTurn = 2.0 * 3.14159265358979323846;
// Attributes of one element: URDF's most (an inertia) has 6.
constexpr int kMaxAttributes = 32;

// A refusal on its way out of the reader.
struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "\xHH" for one byte
std::string Hex(unsigned char c) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("\\x") + digits[c >> 4] + digits[c & 15];
}

// The refusal as one line safe for a terminal: control bytes (C0, DEL and the
// UTF-8 form of C1, which includes a terminal's CSI) are written as \xHH.
std::string OneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      out += Hex(c) + Hex(next);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      out += Hex(c);
    } else {
      out += text[i];
    }
  }
  return out;
}

// The line of byte i as TinyXML counts rows: "\n", "\r\n" and a lone "\r" each end one.
int LineOf(const std::string& t, size_t i) {
  const char* const begin = t.data();
  const char* const end = begin + std::min(i, t.size());
  int line = 1;
  for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', end - p))); ++p)
    ++line;
  for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\r', end - p))); ++p)
    if (p + 1 == begin + t.size() || p[1] != '\n') ++line;
  return line;
}

// Whether text holds a control character of C0, DEL or C1 (as UTF-8).
bool HasControl(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80)
      return true;
  }
  return false;
}

// Bytes of the well-formed UTF-8 sequence that starts at t[i] (0: none does).
size_t Utf8Length(const std::string& t, size_t i) {
  auto at = [&](size_t k) { return k < t.size() ? static_cast<unsigned char>(t[k]) : 0u; };
  auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
    return at(k) >= lo && at(k) <= hi;
  };
  const unsigned c = at(i);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {  // neither overlong nor a surrogate
    const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {  // neither overlong nor beyond U+10FFFF
    const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  }
  return 0;
}

// The elements of the file by name, with their lines.
struct XmlIndex {
  const TiXmlElement* robot = nullptr;
  std::map<std::string, const TiXmlElement*> links, joints;
};

// urdfdom's complaints while it reads, kept instead of printed: the first says what
// is wrong, the ones after it often name the joint or link in brackets.
class Capture : public console_bridge::OutputHandler {
 public:
  void log(const std::string& text, console_bridge::LogLevel level, const char*, int) override {
    if (level >= console_bridge::CONSOLE_BRIDGE_LOG_ERROR) errors.push_back(text);
  }
  std::vector<std::string> errors;
};

class Reader {
 public:
  explicit Reader(std::string where) : where_(std::move(where)) {}
  std::shared_ptr<const Model> Read(const std::string& text);

 private:
  [[noreturn]] void Refuse(const TiXmlElement* e, const std::string& what) const {
    std::ostringstream o;
    o << where_;
    if (e != nullptr) o << ':' << e->Row() << ": " << Describe(e);
    o << ": " << what;
    throw Refused(o.str());
  }
  // a refusal of the text itself, before it is parsed
  [[noreturn]] void RefuseAt(int line, const std::string& what) const {
    throw Refused(where_ + ':' + std::to_string(line) + ": " + what);
  }
  // "joint 'name'", or for an element without a name the nearest named one around
  // it: "origin in joint 'name'"
  static std::string Describe(const TiXmlElement* e) {
    std::string d = e->Value();
    if (const char* n = e->Attribute("name")) return d + " '" + n + "'";
    for (const TiXmlNode* p = e->Parent(); p != nullptr && p->ToElement() != nullptr;
         p = p->Parent())
      if (const char* n = p->ToElement()->Attribute("name"))
        return d + " in " + p->Value() + " '" + n + "'";
    return d;
  }
  const TiXmlElement* Joint(const std::string& name) const {
    auto it = xml_.joints.find(name);
    return it == xml_.joints.end() ? nullptr : it->second;
  }
  const TiXmlElement* Link(const std::string& name) const {
    auto it = xml_.links.find(name);
    return it == xml_.links.end() ? nullptr : it->second;
  }
  void CheckCharacters(const std::string& t) const;
  void CheckMarkup(const std::string& t) const;
  void CheckReferences(const std::string& t, size_t from, size_t to) const;
  void Index(const TiXmlDocument& doc, const std::string& text);
  void Numbers(const TiXmlElement* e, const char* what, double v[3], double bound,
               const char* unit) const;
  void Size(double v, const TiXmlElement* e, const char* what) const;
  void Origin(const TiXmlElement* joint, double xyz[3], double E[3][3]) const;
  double CylinderLength(const urdf::Link& link, double* radius) const;
  void OneShape(const urdf::Link& link, const char* shape, const char* why) const;
  void ReadFinger(const urdf::ModelInterface& robot, const urdf::Joint& mount, int kf, Model& m);

  std::string where_;
  XmlIndex xml_;
  double length_ = 0.0, radius_ = 0.0;    // the first finger's link length and radius
  const TiXmlElement* dimsAt_ = nullptr;  // the link they were read from
};

// The text is UTF-8 (its names reach the window, the state and the web page) with
// no control character XML forbids (TinyXML would stop at a NUL and read no further).
void Reader::CheckCharacters(const std::string& t) const {
  // the bytes that end a run of plain ASCII: control characters (tab and line ends
  // aside) and those beyond ASCII; a NUL ends the C string and so any run
  static const std::string special = [] {
    std::string s;
    for (int c = 1; c < 256; ++c)
      if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c >= 0x80) s += static_cast<char>(c);
    return s;
  }();
  for (size_t i = 0; i < t.size();) {
    i += std::strcspn(t.c_str() + i, special.c_str());  // a run of plain ASCII, quickly
    if (i >= t.size()) break;
    const auto c = static_cast<unsigned char>(t[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
      RefuseAt(LineOf(t, i), "control character " + Hex(c) +
                                 ": not well-formed XML (only tab and line ends are allowed)");
    const size_t n = Utf8Length(t, i);
    if (n == 0)
      RefuseAt(LineOf(t, i), "byte " + Hex(c) + " is not UTF-8: a hand file is UTF-8 text");
    i += n;
  }
}

// Every '&' of text or of an attribute value in [from, to) starts a reference as
// XML writes them, "&name;", "&#digits;" or "&#xhex;", and a character reference
// names a character XML allows (so no control character comes in through one).
// TinyXML would read on to the next ';' of the file from a broken one.
void Reader::CheckReferences(const std::string& t, size_t from, size_t to) const {
  constexpr size_t kLongest = 16;  // "&#x10FFFF;" and the longest entity name with room
  for (size_t i = t.find('&', from); i < to; i = t.find('&', i + 1)) {
    size_t semi = i + 1;
    while (semi < to && semi <= i + kLongest && t[semi] != ';') ++semi;
    bool ok = semi < to && t[semi] == ';' && semi > i + 1;
    if (ok && t[i + 1] == '#') {
      const bool hex = t[i + 2] == 'x';
      const size_t digits = i + (hex ? 3 : 2);
      unsigned long c = 0;
      const auto r = std::from_chars(t.data() + digits, t.data() + semi, c, hex ? 16 : 10);
      ok = digits < semi && r.ec == std::errc() && r.ptr == t.data() + semi &&
           (c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
            (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF));
    } else if (ok) {
      for (size_t k = i + 1; k < semi && ok; ++k)
        ok = std::isalnum(static_cast<unsigned char>(t[k])) || t[k] == '_' || t[k] == '-' ||
             t[k] == '.';
    }
    if (!ok)
      RefuseAt(LineOf(t, i),
               "not well-formed XML: '&' starts no reference to an allowed character or an "
               "entity (write '&amp;' for '&')");
  }
}

// One pass over the markup before any parser sees it, in time linear in the text
// and without recursion: no document type (so no entity to expand), tags written as
// XML has them (attribute values quoted), and elements nested at most
// kMaxHandFileDepth deep. TinyXML, and urdfdom through it, parse one level of their
// stack per level of nesting; whatever this scan could read otherwise than they do
// (an unquoted value, a '<' that starts no tag, a processing instruction with a '>'
// before its "?>") is refused, so that they never see deeper nesting than it counted.
void Reader::CheckMarkup(const std::string& t) const {
  const size_t n = t.size();
  auto at = [&](size_t i) { return i < n ? static_cast<unsigned char>(t[i]) : 0u; };
  auto startsAt = [&](size_t i, const char* s) { return t.compare(i, std::strlen(s), s) == 0; };
  auto space = [&](size_t i) {
    return at(i) == ' ' || at(i) == '\t' || at(i) == '\n' || at(i) == '\r';
  };
  // as TinyXML reads names: a letter, '_' or any byte beyond ASCII first
  auto nameStart = [&](size_t i) {
    const unsigned c = at(i);
    return (c < 0x80 && std::isalpha(static_cast<int>(c))) || c == '_' || c >= 0x7F;
  };
  auto nameChar = [&](size_t i) {
    return nameStart(i) || (at(i) < 0x80 && std::isdigit(static_cast<int>(at(i)))) ||
           at(i) == '-' || at(i) == '.' || at(i) == ':';
  };
  auto malformed = [&](size_t i, const std::string& why) {
    RefuseAt(LineOf(t, i), "not well-formed XML: " + why);
  };
  int depth = 0;
  size_t textFrom = 0;  // where the text before the next '<' starts
  for (size_t i = t.find('<'); i != std::string::npos; textFrom = i, i = t.find('<', i)) {
    CheckReferences(t, textFrom, i);
    const size_t open = i;
    if (startsAt(i, "<!--")) {
      const size_t end = t.find("-->", i + 4);
      if (end == std::string::npos) malformed(open, "a comment without its end '-->'");
      i = end + 3;
      continue;
    }
    if (startsAt(i, "<![CDATA[")) {
      const size_t end = t.find("]]>", i + 9);
      if (end == std::string::npos) malformed(open, "a CDATA section without its end ']]>'");
      i = end + 3;
      continue;
    }
    if (startsAt(i, "<!")) {
      size_t e = i + 2;
      while (e < n && e < i + 20 && nameChar(e)) ++e;
      RefuseAt(LineOf(t, open), "<!" + t.substr(i + 2, e - i - 2) +
                                    ": a document type or entity declaration: a hand file has "
                                    "none (no entity is expanded)");
    }
    if (startsAt(i, "<?")) {
      const size_t end = t.find('>', i + 2);
      if (end == std::string::npos || end == i + 2 || t[end - 1] != '?')
        malformed(open, "a processing instruction ends with '?>' at its first '>'");
      i = end + 1;
      continue;
    }
    if (startsAt(i, "</")) {
      i += 2;
      if (!nameStart(i)) malformed(open, "an end tag is '</' and a name");
      while (nameChar(i)) ++i;
      while (space(i)) ++i;
      if (at(i) != '>') malformed(open, "an end tag is '</' and a name and '>'");
      if (depth > 0) --depth;  // an end tag that closes nothing: the parser refuses it
      ++i;
      continue;
    }
    // a start tag: a name, then attributes, each a name, '=' and a quoted value
    ++i;
    if (!nameStart(i)) malformed(open, "'<' starts no tag");
    const size_t tagAt = i;
    while (nameChar(i)) ++i;
    const std::string tag = t.substr(tagAt, i - tagAt);
    std::string name;  // its name attribute, for the refusal
    for (int attributes = 0;; ++attributes) {
      const size_t before = i;
      while (space(i)) ++i;
      if (i >= n) malformed(open, "<" + tag + "> has no end");
      if (t[i] == '>' || t[i] == '/') break;
      if (i == before) malformed(i, "in <" + tag + ">, no white space before an attribute");
      // not a name, so ASCII (and no control character, those are refused already)
      if (!nameStart(i))
        malformed(i, "in <" + tag + ">, '" + t.substr(i, 1) +
                         "' where an attribute, '>' or '/>' belongs");
      // TinyXML compares each attribute with every earlier one of its element
      if (attributes == kMaxAttributes)
        malformed(i,
                  "<" + tag + "> has more than " + std::to_string(kMaxAttributes) + " attributes");
      const size_t attrAt = i;
      while (nameChar(i)) ++i;
      const std::string attr = t.substr(attrAt, i - attrAt);
      while (space(i)) ++i;
      if (at(i) != '=')
        malformed(i, "attribute '" + attr + "' of <" + tag + "> has no '=' and value");
      ++i;
      while (space(i)) ++i;
      if (at(i) != '"' && at(i) != '\'')
        malformed(i, "the value of attribute '" + attr + "' of <" + tag + "> is not quoted");
      const size_t close = t.find(t[i], i + 1);
      if (close == std::string::npos)
        malformed(i, "the value of attribute '" + attr + "' of <" + tag + "> has no closing quote");
      CheckReferences(t, i + 1, close);
      if (attr == "name") name = t.substr(i + 1, close - i - 1);
      i = close + 1;
    }
    const bool empty = t[i] == '/';
    if (empty && at(i + 1) != '>') malformed(i, "in <" + tag + ">, '/' not followed by '>'");
    if (depth + 1 > kMaxHandFileDepth)
      RefuseAt(LineOf(t, open), tag + (name.empty() ? "" : " '" + name + "'") + ": nested " +
                                    std::to_string(depth + 1) +
                                    " elements deep: a hand file nests at most " +
                                    std::to_string(kMaxHandFileDepth));
    if (!empty) ++depth;
    i += empty ? 2 : 1;
  }
  CheckReferences(t, textFrom, n);
}

void Reader::Index(const TiXmlDocument& doc, const std::string& text) {
  xml_.robot = doc.RootElement();
  if (xml_.robot == nullptr) {
    // TinyXML stops quietly at text outside any element: name where that is
    size_t i = 0;
    for (;;) {
      while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      const char* end = text.compare(i, 4, "<!--") == 0 ? "-->"
                        : text.compare(i, 2, "<?") == 0 ? "?>"
                                                        : nullptr;
      if (end == nullptr || text.find(end, i) == std::string::npos) break;
      i = text.find(end, i) + std::strlen(end);
    }
    if (i == text.size()) {  // nothing but comments: their last line
      const size_t last = text.find_last_not_of(" \t\r\n");
      i = last == std::string::npos ? 0 : last;
    }
    RefuseAt(LineOf(text, i), "no element here: the file's root element must be <robot>");
  }
  if (std::string(xml_.robot->Value()) != "robot")
    Refuse(xml_.robot, "the file's root element must be <robot>");
  std::map<std::string, const TiXmlElement*> parentOf;
  for (const TiXmlElement* e = xml_.robot->FirstChildElement(); e; e = e->NextSiblingElement()) {
    const std::string tag = e->Value();
    const char* name = e->Attribute("name");
    if (tag != "link" && tag != "joint") continue;
    if (name == nullptr) Refuse(e, "has no name");
    auto& table = tag == "link" ? xml_.links : xml_.joints;
    if (!table.emplace(name, e).second) Refuse(e, "a second " + tag + " of this name");
    if (tag != "joint") continue;
    const TiXmlElement* child = e->FirstChildElement("child");
    const char* childLink = child ? child->Attribute("link") : nullptr;
    if (childLink == nullptr) Refuse(e, "has no child link");
    auto [it, fresh] = parentOf.emplace(childLink, e);
    if (!fresh)
      Refuse(e, std::string("link '") + childLink + "' already hangs from joint '" +
                    it->second->Attribute("name") + "': a loop, the hand must be a tree");
  }
  // A chain of joints that comes back to its start is a loop too; urdfdom would
  // build it (and never free it) before finding no root. Each link is walked up
  // from once: a walk that meets its own path has found a loop, one that meets an
  // earlier walk's path has not.
  std::map<std::string, int> walk;  // the walk that first passed each link, from 1
  int walks = 0;
  for (const auto& start : parentOf) {
    if (walk.count(start.first)) continue;
    ++walks;
    std::vector<std::string> path;
    std::string link = start.first;
    for (;;) {
      auto seen = walk.find(link);
      if (seen != walk.end()) {
        if (seen->second != walks) break;
        // the loop is the path from this link on; name its first link by name
        auto from = std::find(path.begin(), path.end(), link);
        const std::string first = *std::min_element(from, path.end());
        Refuse(parentOf.at(first),
               "link '" + first +
                   "' hangs from itself through the joints: a loop, the hand must be a tree");
      }
      walk.emplace(link, walks);
      path.push_back(link);
      auto at = parentOf.find(link);
      const TiXmlElement* parent =
          at == parentOf.end() ? nullptr : at->second->FirstChildElement("parent");
      const char* up = parent ? parent->Attribute("link") : nullptr;
      if (up == nullptr) break;
      link = up;
    }
  }
}

// The three numbers of attribute what of e (zeros when e or the attribute is
// absent), each of magnitude at most bound.
// Any sizes of the family (the links' are checked as the first finger is read, the
// palm's after it): all of them within [kMinSize, kMaxSize].
void Reader::Size(double v, const TiXmlElement* e, const char* what) const {
  if (!(v >= kMinSize && v <= kMaxSize)) {
    std::ostringstream o;
    o << what << ' ' << v << " must lie in [" << kMinSize << ", " << kMaxSize << "] length units";
    Refuse(e, o.str());
  }
}

void Reader::Numbers(const TiXmlElement* e, const char* what, double v[3], double bound,
                     const char* unit) const {
  v[0] = v[1] = v[2] = 0.0;
  const char* text = e ? e->Attribute(what) : nullptr;
  if (text == nullptr) return;
  const char* p = text;
  const char* end = text + std::char_traits<char>::length(text);
  bool ok = true;
  for (int i = 0; i < 3 && ok; ++i) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const auto r = std::from_chars(p, end, v[i]);
    ok = r.ec == std::errc() && std::fabs(v[i]) <= bound;  // and so not NaN
    p = r.ptr;
  }
  while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (!ok || p != end) {
    std::ostringstream o;
    o << what << " '" << text << "' must be three numbers within +-" << bound << ' ' << unit;
    Refuse(e, o.str());
  }
}

// The origin of a joint as written: its offset, and its frame Rz(yaw) Ry(pitch)
// Rx(roll); a turn about y alone is Cy itself, bit for bit.
void Reader::Origin(const TiXmlElement* joint, double xyz[3], double E[3][3]) const {
  const TiXmlElement* o = joint->FirstChildElement("origin");
  double rpy[3];
  Numbers(o, "xyz", xyz, kMaxSize, "length units");
  Numbers(o, "rpy", rpy, kMaxTurn, "radians (a whole turn)");
  if (rpy[0] == 0.0 && rpy[2] == 0.0) {
    Cy(rpy[1], E);
  } else {
    double X[3][3], Y[3][3], Z[3][3], ZY[3][3];
    Cx(rpy[0], X);
    Cy(rpy[1], Y);
    Cz(rpy[2], Z);
    MatMul(Z, Y, ZY);
    MatMul(ZY, X, E);
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (std::fabs(E[i][j]) < kAxisSnap) E[i][j] = 0.0;  // and no negative zeros
}

// A link has at most one collision shape of the given kind: the second is refused.
void Reader::OneShape(const urdf::Link& link, const char* shape, const char* why) const {
  const TiXmlElement* e = Link(link.name);
  int seen = 0;
  for (const TiXmlElement* c = e->FirstChildElement("collision"); c;
       c = c->NextSiblingElement("collision")) {
    const TiXmlElement* g = c->FirstChildElement("geometry");
    const TiXmlElement* kind = g ? g->FirstChildElement() : nullptr;  // as urdfdom reads it
    if (kind != nullptr && std::string(kind->Value()) == shape && ++seen == 2)
      Refuse(kind, std::string("a second ") + shape + " collision shape: " + why);
  }
}

// The length of the link's cylinder collision shape, which must lie along the
// link's x axis from its joint; 0 when it has none.
double Reader::CylinderLength(const urdf::Link& link, double* radius) const {
  OneShape(link, "cylinder", "a finger link is one cylinder");
  for (const auto& c : link.collision_array) {
    if (!c || !c->geometry || c->geometry->type != urdf::Geometry::CYLINDER) continue;
    const auto& cyl = static_cast<const urdf::Cylinder&>(*c->geometry);
    const urdf::Vector3 axis = c->origin.rotation * urdf::Vector3(0, 0, 1);
    const double L = cyl.length;
    if (!(L > 0.0) || !(cyl.radius > 0.0))
      Refuse(Link(link.name), "the cylinder's radius and length must be positive");
    if (std::fabs(std::fabs(axis.x) - 1.0) > kLengthTol ||
        std::fabs(c->origin.position.x - L / 2) > kLengthTol * L ||
        std::fabs(c->origin.position.y) > kLengthTol * L ||
        std::fabs(c->origin.position.z) > kLengthTol * L)
      Refuse(Link(link.name), "the cylinder must lie along the link's x axis from 0 to its length");
    *radius = cyl.radius;
    return L;
  }
  return 0.0;
}

// One finger from its mount joint on the palm: four revolute joints about their
// frames' z axes, the first three at the finger's base, the fourth and the fixed
// joint to the tip one link length along x; the links after joints 3 and 4 carry
// cylinders of that length, the tip a ball of their radius.
void Reader::ReadFinger(const urdf::ModelInterface& robot, const urdf::Joint& mount, int kf,
                        Model& m) {
  Origin(Joint(mount.name), m.mountSphere[kf].base, m.mountSphere[kf].frame);
  m.mountCylinder[kf] = m.mountSphere[kf];
  urdf::LinkConstSharedPtr link = robot.getLink(mount.child_link_name);
  double Es[kSlots][3][3];
  MatIdentity(Es[0]);
  for (int j = 1; j <= kFingerJoints + 1; ++j) {
    const TiXmlElement* linkXml = Link(link->name);
    if (link->child_joints.empty())
      Refuse(linkXml,
             "the finger ends after " + std::to_string(j - 1) +
                 " joints: a finger has four revolute joints and a fixed joint to its tip");
    if (link->child_joints.size() > 1) Refuse(linkXml, "a finger does not branch");
    const urdf::Joint& joint = *link->child_joints[0];
    const TiXmlElement* jointXml = Joint(joint.name);
    const bool tip = (j == kFingerJoints + 1);
    const int want = tip ? urdf::Joint::FIXED : urdf::Joint::REVOLUTE;
    if (joint.type != want)
      Refuse(jointXml,
             std::string("type ") + jointXml->Attribute("type") +
                 (tip ? ": the joint to the fingertip is fixed (a finger has four revolute joints)"
                      : ": a finger's joints are revolute"));
    if (!tip && !(joint.axis.x == 0.0 && joint.axis.y == 0.0 && joint.axis.z == 1.0))
      Refuse(jointXml, "the axis must be 0 0 1 (turn the joint's origin instead)");
    double xyz[3], C[3][3];
    Origin(jointXml, xyz, C);
    link = robot.getLink(joint.child_link_name);
    if (j < kFingerJoints) {
      if (xyz[0] != 0.0 || xyz[1] != 0.0 || xyz[2] != 0.0)
        Refuse(jointXml,
               "origin xyz must be 0 0 0: the first three joints sit at the finger's base");
    } else {
      // joint 4 and the tip: one link along x, about the same axis as joint 3
      double radius = 0.0;
      const urdf::LinkConstSharedPtr carrier = robot.getLink(joint.parent_link_name);
      const double L = CylinderLength(*carrier, &radius);
      if (L == 0.0)
        Refuse(Link(carrier->name), "no cylinder collision shape: a finger link is a cylinder");
      if (std::fabs(xyz[0] - L) > kLengthTol * L || xyz[1] != 0.0 || xyz[2] != 0.0)
        Refuse(jointXml, "origin xyz must be the link's length (its cylinder's) along x, then 0 0");
      if (C[0][0] != 1.0 || C[1][1] != 1.0 || C[2][2] != 1.0)
        Refuse(jointXml,
               tip ? "origin rpy must be 0 0 0: the tip sits on the link's axis"
                   : "origin rpy must be 0 0 0: joint 4 turns about the same axis as joint 3");
      if (length_ == 0.0) {  // the first link gives every link's sizes
        length_ = xyz[0];
        radius_ = radius;
        dimsAt_ = Link(carrier->name);
        Size(length_, dimsAt_, "finger link length");
        Size(radius_, dimsAt_, "finger link radius");
        if (!(2.0 * radius_ < length_)) {
          std::ostringstream o;
          o << "finger link radius " << radius_ << " must be below half its length " << length_;
          Refuse(dimsAt_, o.str());
        }
      }
      if (xyz[0] != length_ || radius != radius_)
        Refuse(Link(carrier->name),
               "every finger link has the same length and radius as the first");
    }
    VecCopy(xyz, m.Ls[j]);
    if (tip) break;
    MatCopy(C, m.Cs[j]);
    MatMul(Es[j - 1], C, Es[j]);
    // the joint's letter by its axis in the finger frame
    const double* ax[3] = {&Es[j][0][2], &Es[j][1][2], &Es[j][2][2]};
    int big = 0;
    for (int i = 1; i < 3; ++i)
      if (std::fabs(*ax[i]) > std::fabs(*ax[big])) big = i;
    m.jointType[j] = "PQR"[big];
    if (const TiXmlElement* q0 = jointXml->FirstChildElement("initial_angle")) {
      const char* v = q0->Attribute("value");
      double q = 0.0;
      const char* end = v ? v + std::char_traits<char>::length(v) : nullptr;
      if (v == nullptr || std::from_chars(v, end, q).ptr != end || !(std::fabs(q) <= kMaxTurn)) {
        std::ostringstream o;
        o << "value must be one number within +-" << kMaxTurn << " radians (a whole turn)";
        Refuse(q0, o.str());
      }
      m.qInit[kf][j] = q;
    }
  }
  // the fingertip: a ball of the links' radius, and nothing beyond it
  const TiXmlElement* tipXml = Link(link->name);
  if (!link->child_joints.empty()) Refuse(tipXml, "the fingertip ends the finger");
  OneShape(*link, "sphere", "a fingertip is one ball");
  bool ball = false;
  for (const auto& c : link->collision_array)
    if (c && c->geometry && c->geometry->type == urdf::Geometry::SPHERE)
      ball = static_cast<const urdf::Sphere&>(*c->geometry).radius == radius_;
  if (!ball) Refuse(tipXml, "the fingertip needs a sphere collision shape of the links' radius");
}

std::shared_ptr<const Model> Reader::Read(const std::string& text) {
  if (text.size() > kMaxHandFileBytes)
    throw Refused(where_ + ": more than " + std::to_string(kMaxHandFileBytes) +
                  " bytes: a hand file is at most " + std::to_string(kMaxHandFileBytes / 1024) +
                  " kB");
  CheckCharacters(text);
  CheckMarkup(text);
  TiXmlDocument doc;
  doc.Parse(text.c_str());
  if (doc.Error()) {
    std::ostringstream o;
    // TinyXML gives no row where it found nothing to read: the end of the text then
    const int row = doc.ErrorRow() > 0 ? doc.ErrorRow() : LineOf(text, text.size());
    o << where_ << ':' << row << ": not well-formed XML: " << doc.ErrorDesc();
    throw Refused(o.str());
  }
  Index(doc, text);

  // urdfdom checks the description and builds the tree; what it says goes into the refusal
  static std::mutex quiet;  // its log goes through one process-wide handler
  urdf::ModelInterfaceSharedPtr robot;
  std::vector<std::string> complaints;
  {
    std::lock_guard<std::mutex> lock(quiet);
    Capture capture;
    console_bridge::useOutputHandler(&capture);
    try {
      robot = urdf::parseURDF(text);
    } catch (const std::exception& e) {
      capture.errors.push_back(e.what());
    }
    console_bridge::restorePreviousOutputHandler();
    complaints = std::move(capture.errors);
  }
  // urdfdom also complains and reads on (a collision shape it cannot read is left
  // out): any complaint refuses the file
  if (!robot || !complaints.empty()) {
    // urdfdom names joints and links in brackets, in the complaint or in the ones
    // after it: the first one of the file is where to look
    const TiXmlElement* at = xml_.robot;
    for (size_t k = 0; k < complaints.size() && at == xml_.robot; ++k) {
      const std::string& c = complaints[k];
      for (size_t open = 0; (open = c.find('[', open)) != std::string::npos; ++open) {
        const size_t close = c.find(']', open);
        if (close == std::string::npos) break;
        // a joint and a link may share a name: the word before the bracket says which
        const std::string name = c.substr(open + 1, close - open - 1);
        std::string before = c.substr(open >= 6 ? open - 6 : 0, open >= 6 ? 6 : open);
        for (char& ch : before)
          ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        const bool link = before.find("link") != std::string::npos;
        const TiXmlElement* e = link ? (Link(name) ? Link(name) : Joint(name))
                                     : (Joint(name) ? Joint(name) : Link(name));
        if (e != nullptr) {
          at = e;
          break;
        }
      }
    }
    Refuse(at, "not a valid URDF robot: " +
                   (complaints.empty() ? std::string("urdfdom refused it") : complaints[0]));
  }

  Model m;
  m.name = robot->getName();
  if (HasControl(m.name))
    Refuse(xml_.robot, "a control character in the name, which the window and the web page show");
  m.nJ = kFingerJoints;
  const urdf::LinkConstSharedPtr palm = robot->getRoot();
  OneShape(*palm, "cylinder", "the palm is one disc");
  double palmRadius = 0.0, palmHeight = 0.0;
  for (const auto& c : palm->collision_array) {
    if (!c || !c->geometry || c->geometry->type != urdf::Geometry::CYLINDER) continue;
    const auto& cyl = static_cast<const urdf::Cylinder&>(*c->geometry);
    const urdf::Vector3 axis = c->origin.rotation * urdf::Vector3(0, 0, 1);
    const urdf::Vector3& at = c->origin.position;
    if (std::fabs(std::fabs(axis.y) - 1.0) > kLengthTol || at.x != 0.0 || at.y != 0.0 ||
        at.z != 0.0)
      Refuse(Link(palm->name),
             "the palm's cylinder is centred on the hand frame with its axis along y");
    palmRadius = cyl.radius;
    palmHeight = cyl.length;
  }
  if (palmRadius == 0.0)
    Refuse(Link(palm->name), "no cylinder collision shape: the palm (the root link) is a disc");

  // the fingers in the file's order of their mount joints; "<mount>_cylinder" joints
  // place a finger differently when the work is the cylinder
  std::vector<urdf::JointSharedPtr> mounts, cylinderMounts;
  for (const auto& j : palm->child_joints) {
    const std::string& n = j->name;
    const bool forCylinder = n.size() > 9 && n.compare(n.size() - 9, 9, "_cylinder") == 0;
    if (j->type != urdf::Joint::FIXED)
      Refuse(Joint(n), std::string("type ") + Joint(n)->Attribute("type") +
                           ": a finger is mounted on the palm by a fixed joint");
    (forCylinder ? cylinderMounts : mounts).push_back(j);
  }
  auto byLine = [this](const urdf::JointSharedPtr& a, const urdf::JointSharedPtr& b) {
    return Joint(a->name)->Row() < Joint(b->name)->Row();
  };
  std::sort(mounts.begin(), mounts.end(), byLine);
  // the first five are read before a sixth is refused: a mount that carries no
  // finger among them is the fault to name
  m.nF = std::min(static_cast<int>(mounts.size()), kMaxFingers);
  if (m.nF < kMinFingers)
    Refuse(Link(palm->name),
           std::to_string(m.nF) + " finger(s) mounted on it: a hand has two to five");
  for (int kf = 1; kf <= m.nF; ++kf) ReadFinger(*robot, *mounts[kf - 1], kf, m);
  if (mounts.size() > static_cast<size_t>(kMaxFingers))
    Refuse(Joint(mounts[kMaxFingers]->name),
           "a sixth finger: a hand has at most " + std::to_string(kMaxFingers) + " fingers");
  const TiXmlElement* cylinderMountXml[kSlots] = {};
  for (const auto& j : cylinderMounts) {
    const std::string finger = j->name.substr(0, j->name.size() - 9);
    auto it = std::find_if(mounts.begin(), mounts.end(),
                           [&](const auto& k) { return k->name == finger; });
    if (it == mounts.end()) Refuse(Joint(j->name), "no finger mount '" + finger + "' to stand for");
    if (!robot->getLink(j->child_link_name)->child_joints.empty())
      Refuse(Link(j->child_link_name), "a cylinder mount's link carries nothing");
    const int kf = static_cast<int>(it - mounts.begin()) + 1;
    Origin(Joint(j->name), m.mountCylinder[kf].base, m.mountCylinder[kf].frame);
    cylinderMountXml[kf] = Joint(j->name);
  }
  m.jointType[0] = ' ';
  m.jointType[kFingerJoints + 1] = m.jointType[kFingerJoints];  // the tip keeps joint 4's frame
  m.jointType[kFingerJoints + 2] = ' ';

  Size(palmRadius, Link(palm->name), "palm radius");
  Size(palmHeight, Link(palm->name), "palm thickness");
  // two fingers' bases nearer than the links' thickness would put the start of one
  // finger inside the other, whatever their frames
  for (char work : {'1', '2'}) {
    for (int kf = 2; kf <= m.nF; ++kf) {
      for (int k = 1; k < kf; ++k) {
        double d[3];
        VecSub(m.Mount(kf, work).base, m.Mount(k, work).base, d);
        const double apart = VecNorm(d);
        if (apart >= 2.0 * radius_) continue;
        const TiXmlElement* mount = work == '2' && cylinderMountXml[kf]
                                        ? cylinderMountXml[kf]
                                        : Joint(mounts[kf - 1]->name);
        std::ostringstream o;
        const TiXmlElement* other =
            work == '2' && cylinderMountXml[k] ? cylinderMountXml[k] : Joint(mounts[k - 1]->name);
        o << "its base is " << apart << " from finger " << k << "'s"
          << (work == '2' ? " with the cylinder" : "") << " (line " << other->Row() << ")"
          << ": fingers' bases stand at least the links' thickness " << 2.0 * radius_ << " apart";
        Refuse(mount, o.str());
      }
    }
  }
  // the drawn joint bodies and the works keep the catalogue's sizes
  const Model& cat = *CatalogueModel(1);
  m.lFin = length_;
  m.aFin = radius_;
  m.rPalm = palmRadius;
  m.hPalm = palmHeight;
  m.rRjnt = cat.rRjnt;
  m.lRjnt = cat.lRjnt;
  m.aSph = cat.aSph;
  m.aCyl = cat.aCyl;
  m.hCyl = cat.hCyl;
  return std::make_shared<const Model>(std::move(m));
}

}  // namespace

HandFileResult ParseHandDescription(const std::string& xml, const std::string& where) {
  HandFileResult r;
  try {
    r.model = Reader(where).Read(xml);
  } catch (const Refused& e) {
    r.error = OneLine(e.what());
  }
  return r;
}

HandFileResult LoadHandFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return {nullptr, OneLine(path + ": is a directory, not a hand file")};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {nullptr, OneLine(path + ": cannot read the hand file")};
  // up to one byte more than a hand file may have: an endless device or pipe is
  // read no further
  std::string text;
  char chunk[1 << 14];
  while (text.size() <= kMaxHandFileBytes) {
    const size_t want = std::min(sizeof chunk, kMaxHandFileBytes + 1 - text.size());
    in.read(chunk, static_cast<std::streamsize>(want));
    text.append(chunk, static_cast<size_t>(in.gcount()));
    if (!in) break;
  }
  if (in.bad()) return {nullptr, OneLine(path + ": cannot read the hand file")};
  HandFileResult r = ParseHandDescription(text, path);
  if (r.model) {
    // the model remembers its file, absolute, so that a scene can name it from anywhere
    auto named = std::make_shared<Model>(*r.model);
    named->source = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) named->source = path;
    r.model = std::move(named);
  }
  return r;
}

}  // namespace rg
