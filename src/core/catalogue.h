// The hand catalogue and the fixed dimensions of hands and works. These never
// change during a run; everything that does lives in rg::Sim (app/state.h).
#pragma once

namespace rg {

// Index capacities: fingers 1..6 and joints 0..6 (0 = finger base).
constexpr int kSlots = 7;

// The built-in hands' and the works' dimensions (one common length unit). A run
// takes them from its Model (core/model.h), which may come from a hand file with
// other values; only the catalogue's own model is built from these.
namespace catalogue {
constexpr double lFin = 80.0;   // length of each of the two finger links
constexpr double aFin = 12.0;   // radius of the links and of the fingertip
constexpr double rRjnt = 10.0;  // drawn body of an 'R' joint: radius
constexpr double lRjnt = 25.0;  //                              length
constexpr double rPalm = 35.0;  // palm radius; finger bases sit on this circle
constexpr double hPalm = 20.0;  // palm thickness along the palm frame's Y axis
constexpr double aSph = 70.0;   // sphere radius
constexpr double aCyl = 60.0;   // cylinder radius
constexpr double hCyl = 100.0;  // cylinder height
}  // namespace catalogue

// Hand types 1..4 (index 0 unused).
constexpr int kNfin[5] = {0, 2, 3, 2, 3};
constexpr int kNjnt[5] = {0, 4, 4, 4, 4};
constexpr const char* kHandLabel[5] = {"", "H=1:RQPP 2-Finger", "H=2:RQPP 3-Finger",
                                       "H=3:PQPP 2-Finger", "H=4:PQPP 3-Finger"};

// Angle of finger kf about the palm's Y axis, per hand.
constexpr double kFingerAngle[5][4] = {{0, 0, 0, 0},
                                       {0, 0.0, 3.1415926536, 0},
                                       {0, 0.0, 2.0943951024, 4.1887902048},
                                       {0, 0.0, 3.1415926536, 0},
                                       {0, 0.0, 2.0943951024, 4.1887902048}};

// Initial joint angles q1..q4 of every finger of a hand.
constexpr double kInitAngles[5][5] = {{0, 0, 0, 0, 0},
                                      {0, 0.01, 0.01, 0.7853981639, 0.7853981639},
                                      {0, 0.01, 0.01, 0.7853981639, 0.7853981639},
                                      {0, 0.01, 0.05, 0.7853981639, 0.7853981639},
                                      {0, 0.01, 0.05, 0.7853981639, 0.7853981639}};

// Constant joint frames of one finger (columns are local axes in the finger frame).
constexpr double kMq[3][3] = {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}};   // x=+Z, y=+X, z=+Y
constexpr double kMp[3][3] = {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}};  // x=+Z, y=+Y, z=-X
constexpr double kMt[3][3] = {{0, 0, 1}, {0, -1, 0}, {1, 0, 0}};  // x=+Z, y=-Y, z=+X

// Tolerance table errN = 10^-N.
constexpr double err1 = 1e-1, err2 = 1e-2, err3 = 1e-3, err4 = 1e-4, err5 = 1e-5, err6 = 1e-6,
                 err7 = 1e-7, err8 = 1e-8, err9 = 1e-9, err10 = 1e-10, err11 = 1e-11,
                 err12 = 1e-12, err13 = 1e-13;

}  // namespace rg
