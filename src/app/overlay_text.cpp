#include "app/overlay_text.h"

#include <cstring>
#include <initializer_list>

namespace rg {

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

namespace {

const char* const kHandLine[5] = {nullptr, "H=1:RQPP 2-Finger\n", "H=2:RQPP 3-Finger\n",
                                  "H=3:PQPP 2-Finger\n", "H=4:PQPP 3-Finger\n"};

// Panel rows, top to bottom.
constexpr float kRow[5] = {340.0f, 320.0f, 300.0f, 280.0f, 260.0f};

void Add(OverlayText& o, float x, float y, const char* text) {
  if (o.n >= static_cast<int>(sizeof o.line / sizeof o.line[0])) return;
  TextLine& l = o.line[o.n++];
  l.x = x;
  l.y = y;
  std::strncpy(l.text, text, sizeof l.text - 1);
  l.text[sizeof l.text - 1] = '\0';
}

void Row(OverlayText& o, int row, const char* text) { Add(o, 5.0f, kRow[row], text); }

void Count(OverlayText& o, float x, int n) {
  char field[6];
  CountField(n, field);
  Add(o, x, kRow[0], field);
}

void ModeA(const Sim& s, OverlayText& o) {
  Row(o, 0, "Execution Mode: A cntM=\n");
  Count(o, 225.0f, s.cntMainip1);
  switch (s.sgnMANIP) {
    case 'D': Row(o, 1, "**** Motion In Deadlock ****\n"); break;
    case 'O': Row(o, 1, "**** Contact Out of FinLink ****\n"); break;
    case 'C': Row(o, 1, "**** Hand/Work Collision ****\n"); break;
    case 'F': Row(o, 1, "**** Data Overflow ****\n"); break;
    case 'R': Row(o, 1, "**** Grasp Not On Rim ****\n"); break;
    default:
      Row(o, 1, "Manipulation Step-by\n");
      Row(o, 2, "Hit s for discrete Motion\n");
      break;
  }
}

// Rows 0, 1, ... of the mode panel.
void Rows(OverlayText& o, std::initializer_list<const char*> rows) {
  int r = 0;
  for (const char* text : rows) Row(o, r++, text);
}

void ModePanel(const Sim& s, OverlayText& o) {
  switch (s.sgnCAL) {
    case 'H':
      Rows(o, {"Execution Mode : H\n", "H:Select Hand\n", "Hit 1,2,3,4\n", "1:2F-RQPP, 2:3F-RQPP\n",
               "3:2F-PQPP, 4:3F-PQPP\n"});
      break;
    case 'G':
      if (s.sgnCALGEnd == 'Y')
        Rows(o, {"Execution Mode : G\n", "Grasp Calcul End\n"});
      else if (s.sgnGRASP == 'N')
        Rows(o, {"Execution Mode : G\n", "Grasp Calcul\n", "##------No FingerLink Grasp-------##\n",
                 "##------Change Work Position------##\n"});
      else
        Rows(o, {"Execution Mode : G\n", "Grasp Calcul\n", "Hit s to Execution\n"});
      break;
    case 'A':
      ModeA(s, o);
      break;
    case 'D':
      Row(o, 0, "Execution Mode: D cntR=\n");
      Count(o, 225.0f, s.cntRepeat);
      Add(o, 235.0f, kRow[0], "    /\n");
      Count(o, 260.0f, s.cntMainip1);
      Add(o, 5.0f, 325.0f, "Hit s for discrete Motion\n");
      break;
    case 'I':
      Rows(o, {"Execution Mode : I\n", "Image Move/Rotation Step-by\n", "Hit x,X,y,Y,z,Z;  p,P,q,Q,r,R\n"});
      break;
    case 'W':
      Rows(o, {"Execution Mode : W\n", "Select Work\n", "Hit 1,2 : Sphere,Cylinder\n"});
      if (s.sgnCALGChk == 'C') Row(o, 3, "**** Hand/Work Collision ****\n");
      break;
    case 'M':
      if (s.sgnGC == 'C')
        Rows(o, {"Execution Mode : M\n", "**** Finger-Work Collision ****\n", "Move Work\n"});
      else
        Rows(o, {"Execution Mode : M\n", "Work Pose Change Step-by\n", "Hit x,X,y,Y,z,Z for Linear Motion\n",
                 "Hit p,P,q,Q,r,R for Rotation\n"});
      break;
    case 'V':
      Rows(o, {"Execution Mode : V\n", "Work Manip Velocity Change Step-by\n", "Hit x,X,y,Y,z,Z for vw[ ]\n",
               "Hit p,P,q,Q,r,R for omw[ ]\n"});
      break;
    case 'J': {
      const char nm[9] = {'n', ',', 'm', '=', s.sgnFJ[0], ',', s.sgnFJ[1], '\n', '\0'};
      // a zero selection character ends the line there
      Rows(o, {"Execution Mode : J\n", "Hit to Change, n,m\n", nm});
      if (s.cntQ >= 1) Row(o, 3, "Hit p or m to Change J-angle step-by\n");
      break;
    }
    default:
      break;
  }
}

}  // namespace

void OverlayLines(const Sim& s, OverlayText& out) {
  out.n = 0;
  if (s.HAND1 >= 1 && s.HAND1 <= 4) Add(out, 5.0f, 20.0f, kHandLine[s.HAND1]);
  if (s.WORK1 == '1') Add(out, 5.0f, 40.0f, "W=Sphere :\n");
  if (s.WORK1 == '2') Add(out, 5.0f, 40.0f, "W=Cylinder :\n");
  // the label is a fixed buffer: never read past its end
  char vel[sizeof(s.WorkVel) + 1];
  std::memcpy(vel, s.WorkVel, sizeof(s.WorkVel));
  vel[sizeof(s.WorkVel)] = '\0';
  Add(out, 5.0f, 55.0f, vel);
  ModePanel(s, out);
}

void CountField(int n, char out[6]) {
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

}  // namespace rg
