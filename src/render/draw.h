// Drawing of the scene: primitives, hand, work, contact markers, text overlay
// and replay. All geometry is passed in model units (the millimetre-like numbers
// of the hand and work models); the primitives scale it to drawing units.
// Colours are RGBA floats. No GL types appear here: the GL calls stay in the
// .cpp files of this folder.
#pragma once

#include <vector>

#include "app/overlay_text.h"
#include "app/window_view.h"
#include "core/state.h"

namespace rg {

// model units -> drawing units (x * 300 / 15000)
double ToGL(double x);
// A cylinder of radius a from P along the z axis of frame E by L, opaque or
// translucent; rf receives its far end.
void CylinderAlongZ(const double P[3], const double E[3][3], double a, double L,
                    const float colour[4], bool translucent, double rf[3]);

// primitives
void usrDrawCylinder(const double r0[3], const double rf[3], double a, const float colour[4]);
void usrDrawCylinderTr(const double r0[3], const double rf[3], double a, const float colour[4]);
void CylinderNet(const double r0[3], const double E[3][3], double a, double L);
void usrDrawWireCircle3d(const double angles[2], const double centre[3], double a,
                         const float colour[4]);
void DrawDisk(const double angles[2], const double centre[3], double a, const float colour[4]);
void DrawSphere(const double centre[3], double a, const float colour[4]);
void DrawSphereTr(const double centre[3], double a, const float colour[4]);
void DrawLine(const double p0[3], const double p1[3], double w, const float colour[4]);
void DrawCone(const double p0[3], const double p1[3], double a, const float colour[4]);

// hand, each finger in the pose of its angles
void draw_hand(const Sim& s, const double qqf[kSlots][kSlots], const float colour[4]);
// finger kf of model m, mounted at f (the fingerTr form translucent, as in the replay)
void draw_finger(const Model& m, const FingerMount& f, int kf, int n, const double* q,
                 const float colour[4]);
void draw_fingerTr(const Model& m, const FingerMount& f, int kf, int n, const double* q,
                   const float colour[4]);
void draw_arm(const double P[3], const double Ef[3][3], double a, double L, const float colour[4]);
void draw_armTr(const double P[3], const double Ef[3][3], double a, double L,
                const float colour[4]);
void draw_joint(char jtype, const double P[3], const double E[3][3], double lJnt, double rJnt,
                const float colour[4]);
void DrawArrow(const double P[3], const double dir[3], const float colour[4]);
void DrawPalm(const Model& m, const float colour[4]);

// work and contact markers
// the work '1' (the sphere) or '2' (the cylinder) of model m at the pose rw, Ew
void draw_work(const Model& m, char work, const double rw[3], const double Ew[3][3],
               const float colour[4]);
void draw_WrkSphere(const double rw[3], const double Ew[3][3], double a);
void draw_WrkCylinder(const double rw[3], const double Ew[3][3], double a, double h,
                      const float colour[4]);
void draw_WrkCylinderTr2(const double rw[3], const double Ew[3][3], double a, double h,
                         const float colour[4]);
void DrawVector(const double P[3], const double dir[3], double L, double s,
                const float colour[4]);
void draw_ContactMark(int kf, const double P[3], const double n[3], const float colour[4]);

// text: window text in the fixed 600 x 600 layout space, and text at a scene point.
// font is a GLUT bitmap font handle.
void DrawText2D(float x, float y, void* font, const char* text);
void DrawTextLines(float x, float y, int n, float dy, void* font, const char rows[][100]);
void DrawText3D(float x, float y, float z, void* font, const char* text);
void* OverlayFont();

// A rectangle of the window in pixels (origin at the lower left corner).
struct WindowRect {
  float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;
};
// The panels the overlay lines put their text on, in the current viewport: one
// per block of lines and one per banner, as DrawOverlay draws them.
std::vector<WindowRect> OverlayPanels(const OverlayText& lines);
// The segment from a to b (drawing units, under the current matrices and
// viewport) as GL lines in the current colour and width, without the parts that
// would land inside any of the rectangles: no line crosses the text.
void DrawLineAround(const double a[3], const double b[3], const std::vector<WindowRect>& keepOut);

// The overlay text lines of the current state: help table, hand and work lines,
// the velocity label and the mode panel, and the window's own panels of v; drawn
// over whatever the frame holds.
void DrawOverlay(const Sim& s, const WindowView& v);
void DrawOverlay(const Sim& s);  // the start-up view: help shown, no panels
// The same for lines already made (WindowLines), as a frame that also keeps its
// lines clear of them uses them.
void DrawOverlay(const OverlayText& lines);
// The same overlay drawn one glutBitmapCharacter at a time; DrawOverlay draws
// exactly its pixels, faster.
void DrawOverlayByCharacter(const Sim& s, const WindowView& v);

// replay of stored step m
void PSeries(const Sim& s, int m);

// One whole frame into the current GL context (no buffer swap): frame set-up
// with the camera, view transform, axes, work, hand, markers, replay, the
// traces of F3, then the overlay on top. Without a view: the start-up view.
void DrawFrame(const Sim& s, const WindowView& v);
void DrawFrame(const Sim& s);
// Viewport for a window of w x h pixels; the projection stays the identity.
void Reshape(int w, int h);

// The goal pose as a translucent ghost of the work and the planned path of the
// work's mid-point (the part already followed drawn apart), where the goal modes
// show them.
void DrawGoal(const Sim& s);

// The contact traces and the work's own axes (F3); large contact markers.
// DrawContacts draws all of what view v shows of them for the parts p of the
// frame; DrawReplayContacts the traces and contacts of stored row m.
// The work's axes stay out of the text panels keepOut.
void DrawContacts(const Sim& s, const WindowView& v, const SceneParts& p,
                  const std::vector<WindowRect>& keepOut);
void DrawReplayContacts(const Sim& s, int m);
void DrawTraces(const Sim& s);
void DrawWorkAxes(const double rw[3], const double Ew[3][3], const std::vector<WindowRect>& keepOut);
void DrawLargeMarker(const double P[3], const float colour[4]);

}  // namespace rg
