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
// Largest link length, palm radius or thickness accepted, in length units: far
// beyond any hand, and small enough that no squared distance of the computations
// comes near overflow.
constexpr double kMaxSize = 1e4;

// A refusal on its way out of the reader.
struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The elements of the file by name, with their lines.
struct XmlIndex {
  const TiXmlElement* robot = nullptr;
  std::map<std::string, const TiXmlElement*> links, joints;
};

// urdfdom's complaints while it reads, kept instead of printed
class Capture : public console_bridge::OutputHandler {
 public:
  void log(const std::string& text, console_bridge::LogLevel level, const char*, int) override {
    if (level >= console_bridge::CONSOLE_BRIDGE_LOG_ERROR && first.empty()) first = text;
  }
  std::string first;
};

class Reader {
 public:
  explicit Reader(std::string where) : where_(std::move(where)) {}
  std::shared_ptr<const Model> Read(const std::string& text);

 private:
  [[noreturn]] void Refuse(const TiXmlElement* e, const std::string& what) const {
    std::ostringstream o;
    o << where_;
    if (e != nullptr) {
      o << ':' << e->Row() << ": " << e->Value();
      if (const char* n = e->Attribute("name")) o << " '" << n << "'";
    }
    o << ": " << what;
    std::string line = o.str();
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';  // names and XML errors stay on the one line
    throw Refused(line);
  }
  const TiXmlElement* Joint(const std::string& name) const {
    auto it = xml_.joints.find(name);
    return it == xml_.joints.end() ? nullptr : it->second;
  }
  const TiXmlElement* Link(const std::string& name) const {
    auto it = xml_.links.find(name);
    return it == xml_.links.end() ? nullptr : it->second;
  }
  void Index(const TiXmlDocument& doc);
  void Numbers(const TiXmlElement* e, const char* text, double v[3]) const;
  void Origin(const TiXmlElement* joint, double xyz[3], double E[3][3]) const;
  double CylinderLength(const urdf::Link& link, double* radius) const;
  void ReadFinger(const urdf::ModelInterface& robot, const urdf::Joint& mount, int kf, Model& m);

  std::string where_;
  XmlIndex xml_;
  double length_ = 0.0, radius_ = 0.0;    // the first finger's link length and radius
  const TiXmlElement* dimsAt_ = nullptr;  // the link they were read from
};

void Reader::Index(const TiXmlDocument& doc) {
  xml_.robot = doc.RootElement();
  if (xml_.robot == nullptr || std::string(xml_.robot->Value()) != "robot")
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
  // build it (and never free it) before finding no root.
  for (const auto& [child, joint] : parentOf) {
    std::string link = child;
    for (size_t hops = 0; hops <= parentOf.size(); ++hops) {
      auto at = parentOf.find(link);
      const TiXmlElement* parent =
          at == parentOf.end() ? nullptr : at->second->FirstChildElement("parent");
      const char* up = parent ? parent->Attribute("link") : nullptr;
      if (up == nullptr) break;
      if (up == child)
        Refuse(joint,
               "link '" + child +
                   "' hangs from itself through the joints: a loop, the hand must be a tree");
      link = up;
    }
  }
}

void Reader::Numbers(const TiXmlElement* e, const char* text, double v[3]) const {
  v[0] = v[1] = v[2] = 0.0;
  if (text == nullptr) return;
  const char* p = text;
  const char* end = text + std::char_traits<char>::length(text);
  for (int i = 0; i < 3; ++i) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const auto r = std::from_chars(p, end, v[i]);
    if (r.ec != std::errc() || !std::isfinite(v[i]))
      Refuse(e, std::string("'") + text + "' is not three finite numbers");
    p = r.ptr;
  }
  while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (p != end) Refuse(e, std::string("'") + text + "' is not three finite numbers");
}

// The origin of a joint as written: its offset, and its frame Rz(yaw) Ry(pitch)
// Rx(roll); a turn about y alone is Cy itself, bit for bit.
void Reader::Origin(const TiXmlElement* joint, double xyz[3], double E[3][3]) const {
  const TiXmlElement* o = joint->FirstChildElement("origin");
  double rpy[3];
  Numbers(o, o ? o->Attribute("xyz") : nullptr, xyz);
  Numbers(o, o ? o->Attribute("rpy") : nullptr, rpy);
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

// The length of the link's cylinder collision shape, which must lie along the
// link's x axis from its joint; 0 when it has none.
double Reader::CylinderLength(const urdf::Link& link, double* radius) const {
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
      if (length_ == 0.0) {
        length_ = xyz[0];
        radius_ = radius;
        dimsAt_ = Link(carrier->name);
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
      if (v == nullptr || std::from_chars(v, end, q).ptr != end || !std::isfinite(q))
        Refuse(q0, "value must be one finite number (radians)");
      m.qInit[kf][j] = q;
    }
  }
  // the fingertip: a ball of the links' radius, and nothing beyond it
  const TiXmlElement* tipXml = Link(link->name);
  if (!link->child_joints.empty()) Refuse(tipXml, "the fingertip ends the finger");
  bool ball = false;
  for (const auto& c : link->collision_array)
    if (c && c->geometry && c->geometry->type == urdf::Geometry::SPHERE)
      ball = static_cast<const urdf::Sphere&>(*c->geometry).radius == radius_;
  if (!ball) Refuse(tipXml, "the fingertip needs a sphere collision shape of the links' radius");
}

std::shared_ptr<const Model> Reader::Read(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str());
  if (doc.Error()) {
    std::ostringstream o;
    o << where_ << ':' << doc.ErrorRow() << ": not well-formed XML: " << doc.ErrorDesc();
    throw Refused(o.str());
  }
  Index(doc);

  // urdfdom checks the description and builds the tree; what it says goes into the refusal
  static std::mutex quiet;  // its log goes through one process-wide handler
  urdf::ModelInterfaceSharedPtr robot;
  std::string complaint;
  {
    std::lock_guard<std::mutex> lock(quiet);
    Capture capture;
    console_bridge::useOutputHandler(&capture);
    try {
      robot = urdf::parseURDF(text);
    } catch (const std::exception& e) {
      capture.first = e.what();
    }
    console_bridge::restorePreviousOutputHandler();
    complaint = capture.first;
  }
  if (!robot) {
    // urdfdom names elements in brackets: the first one of the file is where to look
    const TiXmlElement* at = xml_.robot;
    for (size_t open = 0; (open = complaint.find('[', open)) != std::string::npos; ++open) {
      const size_t close = complaint.find(']', open);
      if (close == std::string::npos) break;
      const std::string name = complaint.substr(open + 1, close - open - 1);
      if (const TiXmlElement* e = Joint(name) ? Joint(name) : Link(name)) {
        at = e;
        break;
      }
    }
    Refuse(at, "not a valid URDF robot: " + (complaint.empty() ? "urdfdom refused it" : complaint));
  }

  Model m;
  m.name = robot->getName();
  m.nJ = kFingerJoints;
  const urdf::LinkConstSharedPtr palm = robot->getRoot();
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
  m.nF = static_cast<int>(mounts.size());
  if (m.nF > kMaxFingers)
    Refuse(Joint(mounts[kMaxFingers]->name),
           "a sixth finger: a hand has at most " + std::to_string(kMaxFingers) + " fingers");
  if (m.nF < kMinFingers)
    Refuse(xml_.robot, std::to_string(m.nF) + " finger(s) on the palm: a hand has two to five");
  for (int kf = 1; kf <= m.nF; ++kf) ReadFinger(*robot, *mounts[kf - 1], kf, m);
  for (const auto& j : cylinderMounts) {
    const std::string finger = j->name.substr(0, j->name.size() - 9);
    auto it = std::find_if(mounts.begin(), mounts.end(),
                           [&](const auto& k) { return k->name == finger; });
    if (it == mounts.end()) Refuse(Joint(j->name), "no finger mount '" + finger + "' to stand for");
    if (!robot->getLink(j->child_link_name)->child_joints.empty())
      Refuse(Link(j->child_link_name), "a cylinder mount's link carries nothing");
    const int kf = static_cast<int>(it - mounts.begin()) + 1;
    Origin(Joint(j->name), m.mountCylinder[kf].base, m.mountCylinder[kf].frame);
  }
  m.jointType[0] = ' ';
  m.jointType[kFingerJoints + 1] = m.jointType[kFingerJoints];  // the tip keeps joint 4's frame
  m.jointType[kFingerJoints + 2] = ' ';

  // any sizes of the family: a link longer than it is thick, all of them finite
  auto size = [&](double v, const TiXmlElement* e, const char* what) {
    if (!(v > 0.0 && v <= kMaxSize)) {
      std::ostringstream o;
      o << what << ' ' << v << " must lie in (0, " << kMaxSize << "] length units";
      Refuse(e, o.str());
    }
  };
  size(palmRadius, Link(palm->name), "palm radius");
  size(palmHeight, Link(palm->name), "palm thickness");
  size(length_, dimsAt_, "finger link length");
  if (!(2.0 * radius_ < length_)) {
    std::ostringstream o;
    o << "finger link radius " << radius_ << " must be below half its length " << length_;
    Refuse(dimsAt_, o.str());
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
    r.error = e.what();
  }
  return r;
}

HandFileResult LoadHandFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) return {nullptr, path + ": cannot read the hand file"};
  return ParseHandDescription(text.str(), path);
}

}  // namespace rg
