// The changing state of one simulation. The simulator is procedural over this one
// object: every core function takes the Sim it works on, so tests and the batch
// driver can hold as many independent simulations as they need. Fingers are
// indexed kf = 1..nF and joints kJ = 1..nJ (0 = base, nJ+1 = fingertip).
#pragma once

#include <functional>
#include <memory>

#include "core/catalogue.h"
#include "core/model.h"
#include "core/console.h"
#include "core/plan_state.h"
#include "numerics/notes.h"
#include "quality/quality.h"

namespace rg {

constexpr int kRows = 800;  // stored manipulation steps (rows 0..799)
constexpr int kDecim = 5;   // every fifth manipulation step is stored
// Gaits (a finger lifted or placed) one stored row's gait column holds: those done
// since the row before; one more is refused until a step stores the row.
constexpr int kMaxRowGaits = 8;

// Contact parameters of one finger: on the finger (position along the last link,
// angle about it, angle from the link axis) and on the work (position along the
// work axis, distance from it, angle about it: the contact point's cylindrical
// coordinates in the work frame, from the bottom-face centre of the cylinder or
// the centre of the sphere). On the sphere alw and betw are the longitude and the
// latitude of the contact normal in the work frame: the outward normal is
// (cos betw cos alw, cos betw sin alw, sin betw), so thw = alw, Lw = aSph sin betw
// and Ltw = aSph cos betw; on the cylinder both stay 0.
struct ContactPrm {
  double Lf, fif, psif, Lw, Ltw, thw;
  double alw = 0.0, betw = 0.0;
};

// The stored trajectory of the manipulation record, one row per fifth step.
// Plain data whose all-zero bytes are the empty record: a row nothing was stored
// in reads as zeros.
struct RecordRows {
  double qqa[kRows][kSlots][kSlots];
  double ManipQ[kRows][kSlots][kSlots];
  double ManipRW[kRows][3];
  double ManipEW[kRows][3][3];
  ContactPrm Manip[kRows][kSlots];
  double ManipCPNTA[kRows][kSlots][3];
  double ManipRWP[kRows][kSlots][3];
  double ManipNWA[kRows][kSlots][3];
  double ManipNWW[kRows][kSlots][3];
  double ManipT[kRows];        // ManipTS at the stored step
  double ManipTimeRow[kRows];  // ManipTime at the stored step
  // the commanded velocity of the stored step: vw (hand frame), then omww (work axes)
  double ManipCmd[kRows][6];
  // the fingers lifted off the work at the stored step (bit kf set), and the gaits done
  // since the row before, in order: (kind 'L' lift or 'P' place, finger) each
  unsigned char ManipLiftedRow[kRows];
  unsigned char ManipGaitCount[kRows];
  char ManipGaitRow[kRows][kMaxRowGaits][2];
};

// The contacts a grasp quality judges, as GraspQuality takes them.
struct JudgedContacts {
  int n = 0;  // contacts c[0..n)
  QualityContact c[kMaxQualityContacts];
  double centre[3] = {0, 0, 0};  // the work's centre, and its radius as rho
  double rho = 0.0;
};
// The grasp quality of one set of contacts with its volume (Qhull's whole hull,
// about a millisecond) and exactly what it was computed from: the contacts as
// judged, the work's centre and radius, the settings. It answers for contacts that
// are the same to the last bit and for no others, so whatever rewrites a row (a new
// grasp, a reset, a step of another run, other settings) leaves it unused.
struct QualityMemo {
  bool filled = false;
  JudgedContacts contacts;
  QualitySettings settings;
  QualityResult result;
};
// The memos of the record (record/grasp_quality.h fills them): one per stored row,
// and one for the latest contacts between stored rows.
struct QualityMemos {
  QualityMemo row[kRows];
  QualityMemo latest;
};

// The record rows of one simulation, 1.6 MB, in a block of their own taken from
// calloc. A block that large comes straight from the kernel as zero pages that
// cost nothing until a row is written, so a simulation that stores few rows
// never touches (or zeroes) the rest, and its start-up does not pay for the
// whole record. Every Sim gets its rows here, however it is made. The arrays are
// reached by the same names as the state's other members (s.qqa[m][kf][j]);
// copying copies the rows into a block of the copy's own.
class RecordStore {
 public:
  RecordStore() : rows_(Allocate()) {}
  RecordStore(const RecordStore& o) : rows_(Allocate()) {
    *rows_ = *o.rows_;
    CopyMemos(o);
  }
  RecordStore& operator=(const RecordStore& o) {
    if (this != &o) {
      *rows_ = *o.rows_;
      CopyMemos(o);
    }
    return *this;
  }
  ~RecordStore();

  // The grasp quality memos of the rows, made when a volume is first asked for (none
  // until then: 330 kB). Filled by reads of a const simulation; like the rest of
  // the state, not to be read from two threads at once.
  QualityMemos& qualityMemos() const;

 private:
  static RecordRows* Allocate();
  void CopyMemos(const RecordStore& o);
  RecordRows* const rows_;  // declared before the references bound into it
  mutable std::unique_ptr<QualityMemos> memos_;

 public:
  double (&qqa)[kRows][kSlots][kSlots] = rows_->qqa;
  double (&ManipQ)[kRows][kSlots][kSlots] = rows_->ManipQ;
  double (&ManipRW)[kRows][3] = rows_->ManipRW;
  double (&ManipEW)[kRows][3][3] = rows_->ManipEW;
  ContactPrm (&Manip)[kRows][kSlots] = rows_->Manip;
  double (&ManipCPNTA)[kRows][kSlots][3] = rows_->ManipCPNTA;
  double (&ManipRWP)[kRows][kSlots][3] = rows_->ManipRWP;
  double (&ManipNWA)[kRows][kSlots][3] = rows_->ManipNWA;
  double (&ManipNWW)[kRows][kSlots][3] = rows_->ManipNWW;
  double (&ManipT)[kRows] = rows_->ManipT;
  double (&ManipTimeRow)[kRows] = rows_->ManipTimeRow;
  double (&ManipCmd)[kRows][6] = rows_->ManipCmd;
  unsigned char (&ManipLiftedRow)[kRows] = rows_->ManipLiftedRow;
  unsigned char (&ManipGaitCount)[kRows] = rows_->ManipGaitCount;
  char (&ManipGaitRow)[kRows][kMaxRowGaits][2] = rows_->ManipGaitRow;
};

// A finger gait (manip/gait.h): a finger lifted off the work while the others hold
// it, or placed on it again. What the last one asked for came to.
struct GaitEvent {
  // What was asked:
  //   'L'  lift: the finger leaves the work for a pre-shape
  //   'P'  place: the finger closes from its pre-shape until it touches the work
  //   '\0' none since the grasp
  char kind = '\0';
  // What came of it:
  //   'Y'  done
  //   'G'  refused: the grasp is not complete
  //   'S'  refused: the manipulation has stopped (its status is not 'Y')
  //   'T'  refused: a lift of a finger already lifted, a place of one that touches
  //   'H'  refused: the other touching contacts would not hold the work (no force closure)
  //   'C'  refused: the finger would meet the work on its way to the pre-shape or at
  //        it, or (a place) at the contact found
  //   'N'  refused: the finger closing from its pre-shape never touches the work
  //   'R'  refused: the contact found is one the rolling motion is not defined for
  //   'F'  refused: the gaits since the last stored row fill its gait column
  char verdict = '\0';
  // the contact type a place found (GGTYPE's letters; '\0' for a lift or none)
  char type[2] = {};
  int finger = 0;  // 1..nF (0: none)
  int step = 0;    // the manipulation step it came after (cntManip0)
  // 'C': the link that met the work, as COLLlink counts links (-1: none)
  int link = -1;
  // a lift: the epsilon of the contacts that would stay (0 without force closure)
  double epsilon = 0.0;
};

// The state one rolling step reads and writes, apart from the stored rows: the
// record's two-slot history (with the command that led to its latest slot and the
// matrices kept there), the step counters and times, the drawn work pose, the step's
// letters and what it met, and the contact set (each finger's contact type, whether
// it touches the work, the gaits since the last stored row). One value, so that saving and restoring it (the planner's
// tree nodes) is a copy. Sim holds it as its base, under the same names.
struct RollState {
  // ---- the manipulation record's two-slot history (0 previous, 1 latest)
  double qqa2[2][kSlots][kSlots] = {};
  ContactPrm ManipPrm2[2][kSlots] = {};
  double ManipCPNTA2[2][kSlots][3] = {};
  double ManipNWA2[2][kSlots][3] = {};
  double ManipRW2[2][3] = {};
  double ManipEW2[2][3][3] = {};
  double ManipDt2 = 0.0;  // time step of the step that led to the latest slot (0: the grasp)
  // the command of the step that led to the latest slot: vw (hand frame), then omww
  // (work axes); meaningful while ManipDt2 > 0
  double ManipCmd2[6] = {};
  // per finger, the inverse Jacobian of the rolling equations at the latest slot's
  // pose, with which the next step's solve starts (none right after a grasp)
  double ManipJinv2[kSlots][4][4] = {};
  bool ManipJinvOk[kSlots] = {};
  // per finger, the error norm of the rolling equations at the latest slot's pose, as
  // its solve ended (0 right after a grasp)
  double ManipRootErr[kSlots] = {};
  // per finger, the rolling matrix at the latest slot's angles, contact point and
  // normal, as the step that led there computed it from the finger's new pose (the
  // next step's prediction and the conditioning read it); meaningful once a step is
  // recorded (cntManip0 > 0)
  double ManipJB2[kSlots][4][4] = {};

  // ---- counters and time
  int cntManip0 = 0;
  int cntMainip1 = 0;
  int cntRepeat = 0;
  double ManipTS = 0.0;    // time summed once per finger and step (nF * dt per step)
  double ManipTime = 0.0;  // physical time: the time steps taken, once per step
  double dt = 0.0;  // time step of the current manipulation attempt

  double RWW[3] = {}, EWW[3][3] = {};  // work pose (hand frame) as drawn

  // ---- the step's status
  // The manipulation's status after the last step taken or refused:
  //   'Y'  the next step may run
  //   'C'  the moved work met the palm, or a finger in its new pose met the work
  //   'O'  a contact left its finger (off the link, or off the tip ball's front half)
  //   'D'  deadlock: no rolling motion even with the smallest time step, or a result
  //        that is not finite
  //   'R'  refused: a grasp contact the rolling motion is not defined for, or none
  //   'F'  data overflow: the record has no room for another step
  // Any letter but 'Y' stops the manipulation until the grasp is reset or done again.
  char sgnMANIP = 'Y';
  // Per finger, its rolling solve in the last attempt of a step that got to it:
  //   'Y'  solved      'O'  its contact left the finger      'D'  no rolling motion
  //   'L'  lifted off the work by a gait: not solved, its angles held
  //   '\0' no step yet
  // A meeting with the work is the step's letter, never a finger's here.
  char sgnC[kSlots] = {};
  // The finger that met the work at the last collision found (0: none yet; a palm
  // collision leaves the finger of an earlier one).
  int COLLkf = 0;
  // What met the work at the last collision found (finger COLLkf): the link that
  // ends at joint COLLlink (nJ + 1: the last link, to the fingertip), 0 the palm,
  // -1 not known.
  int COLLlink = -1;

  // ---- the contact set: which fingers touch the work, and how
  // Per finger, the grasp contact's type (or the contact a place found): [0] where on
  // the finger, [1] where on the work ('\0' for both before the finger's first grasp
  // step):
  //   [0]  'L' the last link's side   'T' the fingertip ball   'N' no contact
  //   [1]  'L' the cylinder's side surface   'C' a rim circle   'D' an end disk
  //        'S' the sphere                    'N' no contact
  char GGTYPE[kSlots][2] = {};
  // Per finger, the part of the work its contact lies on, written with every
  // contact found (kept when none is):
  //   'L'  the lower rim (around the bottom face)   'U'  the upper rim
  //   'M'  the cylinder's side surface              'S'  the sphere
  //   '\0' no contact found yet
  char sgnUML[kSlots] = {};
  // Per finger: lifted off the work by a gait. The rolling step holds its angles (its
  // pre-shape) and only checks it against the moved work; its history keeps the
  // contact it left. A grasp and a reset make every finger touch.
  bool lifted[kSlots] = {};
  // Per finger: placed on the work since its last step, so that its history holds no
  // step's change; its next solve starts from the first-order prediction, as after a
  // grasp.
  bool placed[kSlots] = {};
  GaitEvent gait;  // the last lift or place asked for
  // The gaits done since the last stored row, (kind, finger) each, for that row's
  // gait column.
  char rowGaits[kMaxRowGaits][2] = {};
  int nRowGaits = 0;
};

// The manipulation record's stored rows (qqa, ManipQ, ..., ManipTimeRow) come
// from RecordStore and the rolling state from RollState; everything else is held here.
struct Sim : RecordStore, RollState {
  // ---- selection and sizes
  int HAND1 = 1;  // built-in hand 1..4; 0: a hand loaded from a file (handModel)
  // the work: '1' the sphere, '2' the cylinder
  char WORK1 = '2';
  int nFIN = 0;  // fingers whose grasp has been solved in the current grasp run

  // ---- mode and status flags (one character each)
  // The execution mode, set by its key:
  //   'I'  view: the keys turn and shift the camera
  //   'H'  hand selection          'W'  work selection
  //   'M'  work pose change        'V'  work velocity change
  //   'J'  initial joint angle change
  //   'G'  grasp: s solves the next finger's contact
  //   'A'  manipulation: s runs one rolling step
  //   'D'  replay: s shows the next stored row
  //   'B'  goal pose: the keys move the goal, s plans a path to it
  //   'C'  path motion: s follows the planned path by one step
  char sgnCAL = 'G';
  // The mode a mode key may resume:
  //   'G', 'A', 'D'  the mode 'I' interrupted; its key resumes it
  //   any mode letter  after 'D': the mode it was entered from (a 'G' or 'A'
  //                    there resumes that mode too)
  //   'N'  none: set by the keys H, W, M, V and J
  //   '\0' none yet (start-up), as 'N'
  char sgnCALold = '\0';
  // Which hand the grasp mode shows:
  //   'S'  the hand in its initial angles qq0 (start-up, reset, key V)
  //   'N'  the computed grasp (every key of mode 'G')
  char sgnCALS = 'S';
  // Whether the grasp is complete:
  //   'Y'  every finger's contact was found: the manipulation may start
  //   'N'  not (yet); a reset, key G and the keys of mode 'J' set it
  char sgnCALGEnd = 'N';
  // Whether a grasp can be computed:
  //   'Y'  it can (or was)
  //   'N'  refused: a finger or the palm meets the work in the initial pose, or a
  //        finger found no contact; the work must be moved
  char sgnGRASP = 'Y';
  // The grasp's check of the work:
  //   'Y'  ready: nothing found
  //   'F'  a grasp step has run since (each one sets it)
  //   'C'  a finger or the palm meets the work after a work change, or the work cuts
  //        into the palm as the grasp starts ("Hand/Work Collision")
  char sgnCALGChk = 'Y';
  // Per finger, its grasp contact:
  //   'Y'  found         'N'  not found (or its step has only begun)
  //   '\0' no grasp step for this finger since start-up
  char sgnGRASPM[kSlots] = {};
  // The interference check of the fingers (in their initial pose) and the palm
  // against the work after a work change:
  //   'C'  one of them meets the work (also: the work cuts into the palm as the grasp
  //        starts)
  //   'F'  free (key M sets it before its first move)
  //   '\0' not checked yet
  char sgnGC = '\0';
  // Whether a work change runs that check: 'y' run it (every work change sets it),
  // 'n' skip it (no key sets it).
  char sgnCalColl = 'y';
  // Mode 'J''s selection, as digit characters: [0] the finger, [1] the joint; key J
  // sets both to '0' (none chosen), a new finger digit empties [1] ('\0').
  char sgnFJ[2] = {'1', '2'};
  int cntQ = 0;  // digit keys taken in mode 'J' since its key (-1 after the key)

  // ---- counters and time
  // Stored rows that belong to the current grasp and its motion: rows
  // 0..cntRecord-1. A grasp reset (or new initial angles) empties the record until
  // a finger's contact is stored again; cntMainip1 keeps the last row the store
  // wrote, and the rows above cntRecord-1 are an earlier run's, which no output,
  // trace or replay shows.
  int cntRecord = 0;

  // ---- work pose (hand frame) and commanded velocity
  double al0 = 0.0, bet0 = 0.0, qam0 = 0.0;
  double rwG0[3] = {}, EwG0[3][3] = {};  // set by the user
  double rwG[3] = {}, EwG[3][3] = {};    // used by the computations
  double vw[3] = {};                     // linear velocity, hand frame
  double omww[3] = {};                   // angular velocity, work frame
  double omw[3] = {};                    // angular velocity passed to the manipulation
  char WorkVel[40] = {};                 // on-screen velocity label, ends with '\n'

  // ---- joint angles, rows of 7 (entries 0..nJ)
  double qq0[kSlots][kSlots] = {};  // initial angles
  double qf[kSlots][kSlots] = {};   // grasp solution

  // ---- the model this simulation runs (hand 1 of the catalogue until a hand is
  // selected); what it holds never changes during a run
  std::shared_ptr<const Model> handModel = CatalogueModel(1);
  const Model& model() const { return *handModel; }
  // the rolling state as one value
  RollState& roll() { return *this; }
  const RollState& roll() const { return *this; }
  // the hand's finger count and each finger's joint count, from its model
  int nF() const { return handModel->nF; }
  int nJ() const { return handModel->nJ; }
  // where finger kf sits on the palm with the selected work (hand 2's fingers turn
  // with it): the model's mount, read by the kinematics
  const FingerMount& mount(int kf) const { return handModel->Mount(kf, WORK1); }

  // ---- how grasp quality is judged (the programs' --friction, --torsion, --contact
  // and --cone-edges options)
  QualitySettings qualitySettings{ContactModel::Soft};  // soft fingers: a two-finger grasp can hold

  // ---- view (edited in mode 'I')
  double rot[3] = {};    // degrees about X, Y, Z
  double trans[3] = {};  // drawing units

  // Redraw request: the window binds it to usrdisplay; the batch driver counts.
  std::function<void()> redraw;

  // ---- goal pose and the path planned to it
  PlanState plan;

  // This simulation's console, and what its computations noted for the user since
  // the application last printed it.
  Console con;
  Notes notes;

  // Per finger, the last link's frame (x along the link) in the pose the latest
  // rolling step left it in, for the next step to read instead of computing it again:
  // read only while the finger's latest angles are `q` bit for bit, on the same model
  // and work (a restored snapshot, a gait or a new grasp changes them). Not part of
  // the rolling state: a copy that misses it computes the frame anew.
  struct KeptLinkFrame {
    double q[kSlots] = {};      // joints 1..nJ
    double cq[kSlots] = {}, sq[kSlots] = {};  // their cos and sin
    double EA[3][3] = {};
    const Model* model = nullptr;  // none kept
    char work = '\0';
  };
  KeptLinkFrame keptLink[kSlots];
};

// Asks whoever shows the state to redraw it.
inline void usrdisplay(Sim& s) {
  if (s.redraw) s.redraw();
}

// The number of stored rows of the current record (RecordLength(s) - 1 is its last
// row; 0: the record holds nothing of the current grasp).
inline int RecordLength(const Sim& s) {
  if (s.cntRecord <= 0 || s.cntMainip1 < 0) return 0;
  const int rows = s.cntRecord < s.cntMainip1 + 1 ? s.cntRecord : s.cntMainip1 + 1;
  return rows < kRows ? rows : kRows;
}

// Whether a contact of type GTYPE (GGTYPE's letters) on the part sgnUML of the work
// WORK1 ('1' sphere, '2' cylinder) can roll: the rolling motion is defined for the
// last link on a rim circle of the cylinder ("LC" on 'L' or 'U') and for the link or
// the fingertip on the sphere ("LS", "TS").
bool ContactRolls(char WORK1, const char GTYPE[2], char sgnUML);

// Empties the current record: row 0 goes back to the initial angles, the set work
// pose and no contact, and no row of an earlier run is shown or exported.
void ClearRecord(Sim& s);

// Clears all grasp and manipulation state and the planned path (keeps mode, joint
// angles, velocity, the goal and the last plan's outcome).
void RESETGRASP(Sim& s);
// Every finger touches the grasp to come and no gait is pending: what a grasp that is
// no longer complete (a reset, new initial angles) leaves of the gaits.
void ForgetGaits(Sim& s);

}  // namespace rg
