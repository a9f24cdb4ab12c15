// The text overlay: the help table at the top, the mode panel in the middle, the
// hand, work and velocity lines at the bottom, all in a fixed 600 x 600 layout
// space whatever the window size; and text at a point of the 3-D scene.
#include <GL/freeglut.h>
#include <GL/glu.h>

#include "render/draw.h"

namespace rg {
namespace {

const char HelpText[11][100] = {
    "'I' : (x,X) (y,Y) (z,Z),(p,P),(q,Q),(r,R):Change Coor. View\n",
    "'H' : Select Hand 1,2,3,4\n",
    "'W' : Select Work 1(Sphere), 2(Cylinder)\n",
    "'M' : (x,X) (y,Y) (z,Z):Change Work Position X,Y,Z Step-by\n",
    "      (p,P) (q,Q) (r,R):Work (X,Y,Z) Rotation Step-by\n",
    "'V' : (x,X) (y,Y) (z,Z):Change Work Velocity vw[X,Y,Z] Step-by\n",
    "      (p,P) (q,Q) (r,R):Work Om Velocity omw[X,Y,Z] Step-by\n",
    "'J' : Set 2,nth-Finger mth-Joint Initial Angle\n",
    "'G' : Sol. of Grasp\n",
    "'A' : Sol. of Manipulation\n",
    "'D' : Motion Repeat of Manipulation\n",
};

const char* const kHandLine[5] = {nullptr, "H=1:RQPP 2-Finger\n", "H=2:RQPP 3-Finger\n",
                                  "H=3:PQPP 2-Finger\n", "H=4:PQPP 3-Finger\n"};

// Panel rows, top to bottom.
constexpr float kRow[5] = {340.0f, 320.0f, 300.0f, 280.0f, 260.0f};

// Characters of one line: up to its '\n'. A missing '\n' ends at the zero, so a
// malformed text never runs past its buffer.
void DrawChars(void* font, const char* text, char stop) {
  for (const char* c = text; *c != '\0' && *c != stop; ++c)
    glutBitmapCharacter(font, static_cast<unsigned char>(*c));
}

// Window-space drawing: own 0..600 orthographic mapping on the model-view
// matrix (the projection is the identity), black, no depth test, no lighting.
void BeginText2D() {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluOrtho2D(0.0, 600.0, 0.0, 600.0);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
}

void EndText2D() {
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glPopAttrib();
  glPopMatrix();
}

void Line(int row, const char* text) { DrawText2D(5.0f, kRow[row], OverlayFont(), text); }

void Count(float x, float y, int n) {
  char field[6];
  CountField(n, field);
  DrawText2D(x, y, OverlayFont(), field);
}

void ModeA(const Sim& s) {
  Line(0, "Execution Mode: A cntM=\n");
  Count(225.0f, kRow[0], s.cntMainip1);
  switch (s.sgnMANIP) {
    case 'D': Line(1, "**** Motion In Deadlock ****\n"); break;
    case 'O': Line(1, "**** Contact Out of FinLink ****\n"); break;
    case 'C': Line(1, "**** Hand/Work Collision ****\n"); break;
    case 'F': Line(1, "**** Data Overflow ****\n"); break;
    case 'R': Line(1, "**** Grasp Not On Rim ****\n"); break;
    default:
      Line(1, "Manipulation Step-by\n");
      Line(2, "Hit s for discrete Motion\n");
      break;
  }
}

void ModePanel(const Sim& s) {
  switch (s.sgnCAL) {
    case 'H':
      Line(0, "Execution Mode : H\n");
      Line(1, "H:Select Hand\n");
      Line(2, "Hit 1,2,3,4\n");
      Line(3, "1:2F-RQPP, 2:3F-RQPP\n");
      Line(4, "3:2F-PQPP, 4:3F-PQPP\n");
      break;
    case 'G':
      Line(0, "Execution Mode : G\n");
      if (s.sgnCALGEnd == 'Y') {
        Line(1, "Grasp Calcul End\n");
      } else if (s.sgnGRASP == 'N') {
        Line(1, "Grasp Calcul\n");
        Line(2, "##------No FingerLink Grasp-------##\n");
        Line(3, "##------Change Work Position------##\n");
      } else {
        Line(1, "Grasp Calcul\n");
        Line(2, "Hit s to Execution\n");
      }
      break;
    case 'A':
      ModeA(s);
      break;
    case 'D':
      Line(0, "Execution Mode: D cntR=\n");
      Count(225.0f, kRow[0], s.cntRepeat);
      DrawText2D(235.0f, kRow[0], OverlayFont(), "    /\n");
      Count(260.0f, kRow[0], s.cntMainip1);
      DrawText2D(5.0f, 325.0f, OverlayFont(), "Hit s for discrete Motion\n");
      break;
    case 'I':
      Line(0, "Execution Mode : I\n");
      Line(1, "Image Move/Rotation Step-by\n");
      Line(2, "Hit x,X,y,Y,z,Z;  p,P,q,Q,r,R\n");
      break;
    case 'W':
      Line(0, "Execution Mode : W\n");
      Line(1, "Select Work\n");
      Line(2, "Hit 1,2 : Sphere,Cylinder\n");
      if (s.sgnCALGChk == 'C') Line(3, "**** Hand/Work Collision ****\n");
      break;
    case 'M':
      Line(0, "Execution Mode : M\n");
      if (s.sgnGC == 'C') {
        Line(1, "**** Finger-Work Collision ****\n");
        Line(2, "Move Work\n");
      } else {
        Line(1, "Work Pose Change Step-by\n");
        Line(2, "Hit x,X,y,Y,z,Z for Linear Motion\n");
        Line(3, "Hit p,P,q,Q,r,R for Rotation\n");
      }
      break;
    case 'V':
      Line(0, "Execution Mode : V\n");
      Line(1, "Work Manip Velocity Change Step-by\n");
      Line(2, "Hit x,X,y,Y,z,Z for vw[ ]\n");
      Line(3, "Hit p,P,q,Q,r,R for omw[ ]\n");
      break;
    case 'J': {
      Line(0, "Execution Mode : J\n");
      Line(1, "Hit to Change, n,m\n");
      const char nm[9] = {'n', ',', 'm', '=', s.sgnFJ[0], ',', s.sgnFJ[1], '\n', '\0'};
      Line(2, nm);
      if (s.cntQ >= 1) Line(3, "Hit p or m to Change J-angle step-by\n");
      break;
    }
    default:
      break;
  }
}

}  // namespace

void* OverlayFont() { return GLUT_BITMAP_HELVETICA_18; }

void CountField(int n, char out[6]) {
  // "    \n" with the digits of n from the left; counts here are 0..799, and a
  // value that does not fit in four characters shows as "****".
  for (int i = 0; i < 4; ++i) out[i] = ' ';
  out[4] = '\n';
  out[5] = '\0';
  if (n < 0 || n > 9999) {
    for (int i = 0; i < 4; ++i) out[i] = '*';
    return;
  }
  char digits[4];
  int k = 0;
  do {
    digits[k++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0);
  for (int i = 0; i < k; ++i) out[i] = digits[k - 1 - i];
}

void DrawText2D(float x, float y, void* font, const char* text) {
  BeginText2D();
  glRasterPos2f(x, y);
  DrawChars(font, text, '\n');
  EndText2D();
}

void DrawTextLines(float x, float y, int n, float dy, void* font, const char rows[][100]) {
  BeginText2D();
  for (int i = 0; i < n; ++i) {
    glRasterPos2f(x, y + i * dy);
    // a row without '\n' ends at its zero or at the end of its 100 characters
    for (int c = 0; c < 100 && rows[i][c] != '\0' && rows[i][c] != '\n'; ++c)
      glutBitmapCharacter(font, static_cast<unsigned char>(rows[i][c]));
  }
  EndText2D();
}

void DrawText3D(float x, float y, float z, void* font, const char* text) {
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  glRasterPos3f(x, y, z);
  DrawChars(font, text, '\0');
  glEnable(GL_LIGHTING);
  glPopAttrib();
}

void DrawOverlay(const Sim& s) {
  DrawTextLines(5.0f, 580.0f, 11, -20.0f, OverlayFont(), HelpText);
  if (s.HAND1 >= 1 && s.HAND1 <= 4) DrawText2D(5.0f, 20.0f, OverlayFont(), kHandLine[s.HAND1]);
  if (s.WORK1 == '1') DrawText2D(5.0f, 40.0f, OverlayFont(), "W=Sphere :\n");
  if (s.WORK1 == '2') DrawText2D(5.0f, 40.0f, OverlayFont(), "W=Cylinder :\n");
  // the label is a fixed buffer: never read past its end
  char vel[sizeof(s.WorkVel) + 1];
  for (size_t i = 0; i < sizeof(s.WorkVel); ++i) vel[i] = s.WorkVel[i];
  vel[sizeof(s.WorkVel)] = '\0';
  DrawText2D(5.0f, 55.0f, OverlayFont(), vel);
  ModePanel(s);
}

}  // namespace rg
