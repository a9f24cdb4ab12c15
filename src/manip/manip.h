// Manipulation by rolling contact (PR motion) of the grasped work.
//
// On the cylinder every finger touches a rim circle with its last link; on the
// sphere every finger touches the sphere with the side of its last link ("LS") or
// with its fingertip ball ("TS"). One manipulation step moves the work by dt at the
// commanded velocity (the cylinder about its mid-point, the sphere about its
// centre) and, for each finger, finds the joint angles with which the link or tip
// still touches the moved work, having rolled on it without slipping and without
// spinning about the normal.
//
// Rolled arcs are measured from the state before the step by the midpoint rule.
// On the rim the arc is aCyl times the rim angle, along the rim's tangent; on the
// sphere it is the great-circle arc between the old and the new contact point of
// the sphere; on the link it is the change of the developed coordinates (along the
// link Lf, around it aFin*fif); on the fingertip ball it is the great-circle arc of
// the ball between its old and new contact point. The tip contact's place on the
// ball is (psif, fif): psif the angle of the ball's normal from the link axis, fif
// its angle about the axis from the link frame's z axis towards x x z. A
// great-circle arc is carried by the unit tangents at both of its ends times its
// length; the two bodies' arcs are compared in two tangent directions at the old
// contact (in the old pose) and at the new one (in the new pose) and the two
// comparisons averaged. Those directions are, on the link, along and around it; on
// the tip ball, around the last joint's axis (z x m, m the ball's normal) and
// across it (m x (z x m)).
//
// Status letters of a step (returned by PRCircleManip4, kept in Sim::sgnMANIP):
//   'Y'  step completed, the next one may run
//   'C'  the moved work meets the palm, or a finger in its new pose meets the work
//   'O'  a contact left the finger link (Lf < 0 or Lf > lFin), or a fingertip
//        contact rolled off the front half of the tip ball onto the link's side
//   'D'  deadlock: no rolling motion found even with the smallest time step, or a
//        step whose result would not be finite
//   'R'  refused: on the cylinder some finger's grasp contact is not a link-on-rim
//        contact (a contact on the cylinder side, sgnUML 'M', or on an end disk,
//        GGTYPE "?D"), on the sphere not an "LS" or "TS" contact, or no grasp at
//        all; the rolling motion is defined only for those, so nothing moves
//   'F'  data overflow: the record's last row (799, step 3995) is stored
//        (RecordFull), so no later step is computed; it is checked before any other
//        refusal
//
// All vectors are in the hand frame unless a name ends in M (the link frame of
// the distance routine). Joint arrays are indexed 0..nJ with joint j at [j].
#pragma once

#include "core/state.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {

// Newton solver constants
constexpr int kNewtonMaxIter = 10000;  // trials plus Jacobian updates per solve
constexpr int kLeanMaxJacobians = 40;  // Jacobians per solve
constexpr int kPolishJacobians = 5;    // more to polish a pose below kAcceptTol to kRootTol
constexpr double kMinFall = 0.01;      // a direction that lowers the error norm by less stalls
constexpr int kMaxStalls = 2;          // ... and this many in a row end the solve
constexpr int kLeanReductions = 3;     // tenfold cuts of a direction's step before it is given up
constexpr int kChordTrials = 6;        // trials with the Jacobian carried from the last step
constexpr double kChordGain = 0.1;     // ... each of which must cut the error norm this much
constexpr double kAcceptTol = 1e-6;    // error norm below which a pose satisfies the constraints
constexpr double kFdStep = 1e-9;       // joint step (rad) of the forward-difference Jacobian
constexpr double kSingularJacobian = 1e-4;  // |det| below which a Jacobian is not inverted
constexpr double kFirstTrialStep =
    1e-2;  // largest joint change (rad) of a fresh Jacobian's first trial

// Where the last link and a rim circle come closest, or the last link (or its
// fingertip ball) and the sphere. Angles in radians.
struct RimContact {
  double Lf = 0.0;   // position of the contact along the link axis from joint nJ
  double fif = 0.0;  // angle about the link, from the link frame's z towards x x z
  double thw = 0.0;  // rim angle, from the work's x axis towards its y axis (sphere: alw)
  double rfc[3] = {0, 0, 0};  // link surface point facing the rim point
  double rwc[3] = {0, 0, 0};  // rim point nearest the link axis (sphere: its surface point)
  double N[3] = {0, 0, 0};    // unit normal from the contact into the link
  double D = 0.0;             // surface distance, negative when the rim cuts the link
  double cthw = 1.0, sthw = 0.0;  // on the rim: cos and sin of thw
  // on the sphere: the finger normal's angle from the link axis (pi/2 on the link's
  // side), and the longitude and latitude of the contact normal in the work frame
  double psif = kHalfPiC, alw = 0.0, betw = 0.0;
  // on the rim: the squared distance of the rim point at angle th from the link axis,
  // A cos^2 + B sin^2 + 2C sin cos + 2Dc cos + 2E sin + F0, as (A, B, C, Dc, E, F0)
  double f[6] = {0, 0, 0, 0, 0, 0};
};
// True when the rim point of c is certainly the one nearest the link axis (by more
// than 1e-6 in squared distance), proved from its coefficients without a search.
bool RimContactCertified(const RimContact& c);

// How each joint's frame sits in the frame of the joint before (Model::Cs), as the
// rolling step's kinematics multiply by it: a signed permutation of the axes (column k
// of the product is sign[k] times column col[k] of the frame before: no arithmetic,
// as for the built-in hands), else a rotation to multiply by.
struct JointTurns {
  bool perm[kSlots] = {};
  int col[kSlots][3] = {};
  double sign[kSlots][3] = {};
};
JointTurns JointTurnsOf(const Model& m);
void JointTurnsOf(const Model& m, JointTurns& turns);
// The rolling step's kinematics of a finger of model m mounted at f, for the cos and
// sin t of its angles: the pose Findirect_kineR finds (to rounding), built in the hand
// frame from the finger's base frame on, so that a joint frame that is a signed
// permutation of the one before costs no multiplication. LastLinkOfTurns finds its
// JA[nJ] and EA[nJ] alone, the same bits.
FingerPose FingerPoseOfTurns(const Model& m, const FingerMount& f, const JointTurns& turns,
                             const JointTrig& t);
void LastLinkOfTurns(const Model& m, const FingerMount& f, const JointTurns& turns,
                     const JointTrig& t, double JAn[3], double EAn[3][3]);

// The fixed inputs of one finger's constraint solve: the finger before the step
// and the contacted rim on the moved work. Rolled arcs and the spin are measured
// from the state before the step (q1, Ew1 and the old contact), never from the
// first PR motion's prediction q12, which only serves as a starting value.
struct PRStepFixed {
  int kf = 1;
  double q1[kSlots] = {};   // angles before the step
  double q12[kSlots] = {};  // angles after the first PR motion
  bool predicted = false;   // q12 is a prediction (not q1 for want of one)
  // the step's command differs from the one that led to q1 (CommandChanged): the
  // last step's change is no guide to this one
  bool newCommand = false;
  // the finger was placed on the work since its last step (a gait): its history holds
  // no step's change to carry on, as right after the grasp
  bool placed = false;
  double Lf1 = 0.0, fif1 = 0.0, thw1 = 0.0;  // contact parameters before the step
  double RC1[3] = {0, 0, 0};     // contact point before the step (on the work)
  double NW1[3] = {0, 0, 0};     // contact normal before the step (work -> finger)
  double rwP2[3] = {0, 0, 0};    // centre of the contacted rim on the moved work
  double Ew2[3][3] = {};         // moved work frame (columns: work x, y, z axes)
  double rwc3[3] = {0, 0, 0};    // the rim point that was in contact, carried along
  // filled by PRStepBefore from the fields above and the work frame before the move
  const FingerMount* mount = nullptr;  // where finger kf sits with the work: the model's
  double Ew1[3][3] = {};     // work frame before the move
  double EA1[3][3] = {};     // last link's frame at q1 (x along the link)
  double tLink1[2] = {0, 0};  // unit rim tangent at the old contact, resolved along
                              // the old link and around it (growing fif)
  double cthw1 = 1.0, sthw1 = 0.0;  // cos and sin of thw1
  JointTrig trig1;  // cos and sin of q1's angles (trig1Ok: filled by PRStepBefore)
  bool trig1Ok = false;
  JointTurns turns;  // filled by PRStepBefore, for the kinematics of the solve
  double Rw[3][3] = {};       // the work's turn over the step, Ew2 * Ew1^T
  // for the spin: Rw * EA1, whose product with a link frame E, E (Rw EA1)^T, is the
  // finger's turn relative to the work's; and NW1 in the old link frame, EA1^T NW1
  double RwEA1[3][3] = {};
  double NW1link[3] = {0, 0, 0};
  // the work sphere ('1') or the cylinder ('2'); on the sphere rwP2 is its moved
  // centre and rwc3 the old contact point carried along with it
  char work = '2';
  char part = 'L';             // sphere: 'L' the link's side touches it, 'T' the tip ball
  double psif1 = kHalfPiC, alw1 = 0.0, betw1 = 0.0;  // the old contact's other parameters
  // filled by PRStepBefore on the sphere
  double mF1[3] = {0, 0, 0};   // old finger normal (towards the work), old link frame coordinates
  double nW1[3] = {0, 0, 0};   // old work normal (towards the finger), work frame coordinates
  double base1[2][3] = {};     // the two tangent directions at the old contact (hand frame)
  // the inverse Jacobian of the errors at the finger's latest root, the first
  // direction of this solve (null: none, a fresh one is computed)
  const double (*Jinv0)[4] = nullptr;
  // the rolling matrix at q1, RC1 and NW1 as the last step computed it (null: none,
  // right after the grasp; the prediction computes it)
  const double (*JB1)[4] = nullptr;
};

// The last link's frame as the distance routines take it: origin o at joint nJ and
// axes F = (z, x x z, x), x along the link and z its joint axis.
struct LinkFrame {
  double o[3] = {};
  double F[3][3] = {};
};
// A rim of the cylinder: its centre c and the work's axes E (the rim lies in the
// plane of the first two).
struct RimCircle {
  double c[3] = {};
  double E[3][3] = {};
};

// Fills the before-the-step quantities of `in` (mount, Ew1, EA1, tLink1, Rw, cthw1,
// sthw1, trig1, turns) from q1, NW1, thw1, the moved work frame Ew2 and the work frame
// Ew1 before the move, for finger in.kf of model m where it sits with the work in.work
// (the model's mount). EA1 and trig1, when given, are the last link's frame at q1
// (LastLinkOfTurns' EAn) and the cos and sin of q1's angles (JointSinCos), known from
// the step that led there; else they are computed.
// turns, when given, is JointTurnsOf(m).
void PRStepBefore(const Model& m, PRStepFixed& in, const double Ew1[3][3],
                  const double (*EA1)[3] = nullptr, const JointTrig* trig1 = nullptr,
                  const JointTurns* turns = nullptr);

// The last link (part 'L') or its fingertip ball ('T') against the work sphere
// (centre c, frame Ew): the contact facing the sphere's centre, its parameters on both
// bodies, and the surface distance D (negative when they overlap). Lf is not limited
// to the link; psif is pi/2 on the link's side.
void LinkSphereDistanceA(const Model& m, const LinkFrame& L, char part, const double c[3],
                         const double Ew[3][3], RimContact& out);
// The great circle from the unit vector a to the unit vector b on a sphere of
// radius r: its unit tangents at a and at b times its length (r times the angle).
void GeodesicEnds(double r, const double a[3], const double b[3], double Ga[3], double Gb[3]);

// One finger's result of a step.
struct PRStepResult {
  double q2[kSlots] = {};
  double Lf2 = 0.0, fif2 = 0.0, thw2 = 0.0;
  double psif2 = kHalfPiC, alw2 = 0.0, betw2 = 0.0;  // on the sphere (see RimContact)
  double RC2[3] = {0, 0, 0};  // contact point (on the rim)
  double NW2[3] = {0, 0, 0};  // unit contact normal, from the work towards the finger
  double err = 0.0;           // error norm ERRT of the step's equations at q2
  double Jinv[4][4] = {};     // the inverse Jacobian of the errors the solve ended with
  bool JinvOk = false;
};

// Counters of one Newton solve (for checks and benchmarks).
struct PRNewtonStats {
  int cnt1 = 0;        // trials plus Jacobian updates after the first
  int trials = 0;      // error evaluations at trial angles
  int jacobians = 0;   // Jacobian updates
  int reductions = 0;  // tenfold step reductions, all Jacobians together
  double maxStep = 0;  // largest joint change of one trial (max-norm, rad)
};

// link-rim distance, in the link frame (origin at joint nJ, third axis along the
// link): the rim point nearest the link axis among all stationary points, ties
// going to the one nearest the previous rim angle thw1. With thwNear given, the
// stationary point next to that rim angle is followed instead (finite
// differences), falling back to the search when there is none close by; csNear, when
// given, holds cos and sin of *thwNear.
void LinkCircleDistance2m(const Model& m, const RimCircle& rimM, double thw1, RimContact& out,
                          const double* thwNear = nullptr, const double* csNear = nullptr);
// the same in the hand frame
void LinkCircleDistanceA2(const Model& m, const LinkFrame& L, const RimCircle& rim, double thw1,
                          RimContact& out, const double* thwNear = nullptr,
                          const double* csNear = nullptr);

// contact constraints of the rolling motion and their solver. The errors are
// D, the link-rim gap; sHx, sHy, the arc rolled on the link minus the rim's arc,
// along and around the link, the rim's direction taken midway between the old and
// the new contact; omn2, the finger's turn relative to the work since the step
// began, about the normal taken midway (the old normal carried with the finger).
// solE is 1, or 2 when the contact lies off the link. The finger is in.kf of model m,
// mounted at in.mount; the solver reads nothing else of a simulation.
int PRCirMotion2ERR4(const Model& m, const PRStepFixed& in, const double* q, RimContact& c,
                     double ERR[4], double* ERRT);
// The errors' Jacobian at angles q: JB (rows the errors, columns joints 1..4), its
// inverse IJB, the largest joint change dq00 of a full Newton step and the
// determinant; verdict 'Y' when a short step along the Newton direction lowers the
// errors. The inverse and the linearisation check note what they find in notes.
struct RollingJacobian {
  char verdict = 'N';
  double JB[4][4] = {};
  double IJB[4][4] = {};
  double dq00 = 0.0;
  double det = 0.0;
};
RollingJacobian PRCirMotion2Jacobian4(const Model& m, const PRStepFixed& in, const double* q,
                                      Notes* notes);
char PRCirMotion2Newton4(const Sim& s, const PRStepFixed& in, PRStepResult& out,
                         PRNewtonStats* stats = nullptr, int maxIter = kNewtonMaxIter);

// true when a contact at Lf along the link lies off the link
inline bool OffLink(const Model& m, double Lf) { return Lf < 0.0 || Lf > m.lFin; }
// true when a finger's result has its contact off the part it started on: off the
// link, or for a tip contact off the ball's front half
bool OffFinger(const Model& m, const PRStepFixed& in, const PRStepResult& out);
// the contact's parameters on the finger and the work as a result's
void TakeContact(const RimContact& c, PRStepResult& out);
// Unit normal at a contact of a finger of model m mounted at f, in pose q, whose link
// parameter is Lf: from the point p (on the rim or the link surface) towards the link
// axis.
void ContactNormalAt(const Model& m, const FingerMount& f, const double* q, double Lf,
                     const double p[3], double N[3]);

// The rolling matrix of a finger of model m mounted at f, at angles q with its contact
// at RC (normal NW, from the work towards the finger): column j is the velocity of the
// finger's point at the contact and its spin about the normal for a unit rate of joint
// j (rows x, y, z, spin). It is singular where the finger's base lies in the contact's
// tangent plane.
void RollingMatrix(const Model& m, const FingerMount& f, const double* q, const double RC[3],
                   const double NW[3], double JB[4][4]);
// How well that finger can follow its contact: the smallest singular value of its
// rolling matrix (length units per radian; 0 at the singular posture). The one
// measure of a posture's conditioning, used by the tests' tolerances too.
double RollingConditioning(const Model& m, const FingerMount& f, const double* q,
                           const double RC[3], const double NW[3]);
// The same for finger kf of simulation s, where it sits with the selected work.
inline double RollingConditioning(const Sim& s, int kf, const double* q, const double RC[3],
                                  const double NW[3]) {
  return RollingConditioning(s.model(), s.mount(kf), q, RC, NW);
}
// Finger kf's rolling conditioning in the record's latest slot: RollingConditioning of
// its angles, contact point and normal there, the same value to rounding (the step
// builds the pose by FingerPoseOfTurns), taken from the rolling matrix the step that
// led there kept (Sim::ManipJB2).
double LatestConditioning(const Sim& s, int kf);
// Signed distance of the base (the first joint) of a finger of model m mounted at f
// from the tangent plane of its contact at RC with normal NW. No rolling motion
// carries the base across that plane, so a step that changes its sign has found the
// mirror solution.
double BaseSideOfContact(const Model& m, const FingerMount& f, const double RC[3],
                         const double NW[3]);

// Newton's starting angles for finger kf in the attempt with time step s.dt: right
// after the grasp or the finger's place (in.placed), and on the first step of a new command (in.newCommand), the first
// PR motion's q12; later the latest angles pushed on by their change over the last
// step scaled to this time step, to second order with the first PR motion's rates
// where there is a prediction (a change that turns a joint by more than
// kMaxPredictedStep is not trusted: the finger starts at q1).
void NewtonStart(const Sim& s, const PRStepFixed& in, double q[kSlots]);
// Whether a step with the command (vw hand frame, omww work axes) follows a step of
// another command (or none): the last change of the record's history then belongs
// to that other command. Compared bit for bit: a run whose command is held reads false.
bool CommandChanged(const Sim& s, const double vw[3], const double omww[3]);
// Solves finger kf's step equations from angles q to their root (ERRT below
// kRootTol, or as low as it falls): Newton's method on the contact followed from the
// old one. True when the pose reached
// satisfies the constraints (ERRT < kAcceptTol); out then holds it, its contact point on
// the rim and its normal (and the inverse Jacobian for the next step's solve).
bool PRCirMotion2Root(const Model& m, const PRStepFixed& in, const double* q, PRStepResult& out,
                      PRNewtonStats* stats = nullptr, int maxIter = kNewtonMaxIter);
constexpr double kRootTol = 1e-12;

// The work's motion at the start of a step: the point it turns about, the
// velocity of that point and the angular velocity (hand frame).
struct WorkMotion {
  double centre[3] = {};
  double vw[3] = {};
  double omw[3] = {};
};
// Joint rates nu[1..4] of a finger's first-order motion, the determinant of its
// rolling matrix, and whether they were found (ok: |det| >= 0.1).
struct JointRates {
  double nu[kSlots] = {};
  double det = 0.0;
  bool ok = false;
};
// per-finger PR motion: first-order prediction (a finger of model m mounted at f, at
// angles q1, its contact at RC1 with normal NW1, following the work's motion w), then
// the exact correction; JB1, when given, is the rolling matrix there (else it is
// computed). The linear solve notes a singular matrix in notes.
JointRates PRCirMotion1VN2(const Model& m, const FingerMount& f, const double* q1,
                           const double RC1[3], const double NW1[3], const WorkMotion& w,
                           Notes* notes, const double (*JB1)[4] = nullptr);
// The fixed inputs of finger kf's solve for the move of the work from `from` to `to`:
// the finger's latest recorded state (with its rolling matrix and inverse Jacobian
// when a step left them), its rim (or the sphere) on the moved work; no prediction
// yet (q12 = q1). turns, when given, is JointTurnsOf(s.model()).
PRStepFixed PRStepInputs(const Sim& s, int kf, const WorkPose& from, const WorkPose& to,
                         const JointTurns* turns = nullptr);
// The first PR motion over the time step s.dt of the work leaving `from` with the
// commanded velocity (vw of the point it turns about, WorkTurnCentre; omw in the hand
// frame): in.q12 and in.predicted, q1 when the rates are not trusted (a joint turned by
// more than kMaxPredictedStep). Returns the joint rates as PRCirMotion1VN2 finds them.
JointRates PRStepPredict(Sim& s, const WorkPose& from, const double vw[3], const double omw[3],
                         PRStepFixed& in);
// The exact correction: the step's equations solved from NewtonStart's angles. 'Y', 'O'
// (the contact left the finger) or 'D' when no rolling motion was found: no root, a
// result that is not finite, or the mirror root (the finger's base across its contact's
// tangent plane from where it was, BaseSideOfContact). On 'D' out keeps the finger's
// state before the step.
char PRCirMotion24(Sim& s, const PRStepFixed& in, PRStepResult& out);

// manipulation driver: one step with the commanded velocity, vw in the hand frame
// and omww about the work's own axes (the angular velocity in the hand frame is
// taken from the work's frame at the start of the step); returns 'Y', 'C', 'O',
// 'D', 'R' or 'F'. Each call
// starts with dt = kFirstDt; all fingers are solved for the same move of the work
// before any is recorded. A deadlock prints its lines, waits for 'e' and retries
// the whole step with dt/sqrt(10) (0.05, 0.0158, ..., 5e-6); a deadlock at
// dt < err5 ends the step with 'D' and leaves the record as it was. A completed
// step ('Y', 'C' or 'O') is recorded for every finger, with its command, and
// counted; the step draws nothing (showing it is the caller's). A first PR
// motion whose joint step exceeds kMaxPredictedStep is not trusted: the finger
// then starts from its pose before the step. A finger whose new pose meets the
// work (its contacting link entering the work counts) gives 'C' with COLLkf = kf.
// With `attempts` below kStepAttempts the step gives up ('D') after that many time
// steps: the planner's search skips the steps that creep by a third of a step or
// less, while a step it keeps is the same as the full step's.
constexpr int kStepAttempts = 9;  // time steps a step tries: 0.05 down to 5e-6
char PRCircleManip4(Sim& s, const double vw[3], const double omww[3],
                    int attempts = kStepAttempts);
// the time step of every step's first attempt: one completed step moves the work by
// this much times the command, unless a deadlock made it retry smaller
constexpr double kFirstDt = 0.05;
// largest joint change (rad) of a first PR motion that is used as a prediction
constexpr double kMaxPredictedStep = 0.1;
// true when finger kf's grasp contact is its link on a rim circle ("LC")
bool GraspOnRim(const Sim& s, int kf);
// true when finger kf's grasp contact can roll on the selected work: "LC" on the
// cylinder, "LS" or "TS" on the sphere
bool GraspRolls(const Sim& s, int kf);
// status after finger kf of a step: the first finger sets it, a later finger's
// letter other than 'Y' replaces a 'Y' (so no finger's failure goes unreported)
char MergeManipStatus(char sgnMANIP, int kf, char sgnCkf);

}  // namespace rg
