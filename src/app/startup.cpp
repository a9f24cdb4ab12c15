// Start-up of the simulator: the default scene, the work summary and the key help.
#include <cstring>

#include "app/startup.h"

#include "core/console.h"
#include "core/state.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {

void StartUp(Sim& s) {
  // the camera: turned in degrees, shifted in the view's units
  VecSet(4.0, -18.0, 5.0, s.rot);
  VecSet(0.0, 0.3, -0.5, s.trans);
  // the cylinder is the work at start
  s.WORK1 = '2';
  // the selected work's default pose, as set and as used by the computations and the
  // drawing, and its angles
  const WorkPose home = DefaultWorkPose(s.WORK1);
  VecCopy(home.r, s.rwG0);
  MatCopy(home.E, s.EwG0);
  s.al0 = s.WORK1 == '1' ? 0.0 : kCylinderHomeTurn;
  s.bet0 = s.qam0 = 0.0;
  VecCopy(s.rwG0, s.rwG);
  MatCopy(s.EwG0, s.EwG);
  VecCopy(s.rwG0, s.RWW);
  MatCopy(s.EwG0, s.EWW);
  // the work summary on the console
  const double deg = 57.2957795;
  s.con.Printf("\n●main()W:-----ワークの描画 WORK1=%c--------------------------------●", s.WORK1);
  s.con.Printf("\n  rwG[]  =");
  PrintVec(s.con, 0, 2, s.rwG);
  s.con.Printf("\n  al0=%7.4f(%5.2f°) bet0=%7.4f(%5.2f°) qam0==%7.4f(%5.2f°)", s.al0, s.al0 * deg,
              s.bet0, s.bet0 * deg, s.qam0, s.qam0 * deg);
  s.con.Printf("\n  EwG[][]=");
  PrintMat(s.con, 10, s.EwG);
  s.con.Printf("\n●main()3-------------ワークの設定終了------------------------------●");
  // hand 1: its tables, its fingers on the palm and their initial angles
  s.HAND1 = 1;
  BasicFinParameter(s, s.HAND1);
  FinJ1Pose(s);
  // the commanded velocity: the work turning about its own axis
  VecSet(0, 0, 0, s.vw);
  VecSet(0, 0, 0.02, s.omww);
  std::strcpy(s.WorkVel, " vw=[ 0, 0, 0]  omw=0.02*[ 0, 0, 1]\n");
  // the first stored row shows the initial angles for every finger slot
  for (int kf = 1; kf <= 6; ++kf) VecCopyN(s.nJ(), s.qq0[kf], s.qqa[0][kf]);
  // a clean grasp state with every finger in its initial pose (the reset also turns
  // the commanded angular velocity into the hand frame), in grasp mode
  RESETGRASP(s);
  s.sgnCAL = 'G';
  s.sgnCALS = 'S';
  // the key help on the console
  PrintKeyHelp(s.con);
}

void StartUpQuiet(Sim& s) {
  s.con.KeepText();
  s.con.SetKeyMode(Console::KeyMode::AutoAnswer);
  StartUp(s);
}

void PrintKeyHelp(Console& con) {
  static const char* const kLines[] = {
      "\n//--------------- キーによる操作(1) 設定 ------------------------------//",
      "\n'H'：ハンドの選定      key='1':2指RQPP, '2':3指RQPP, '3':2指PQPP, '4':3指PQPP",
      "\n'J'：指初期関節角変更  key=n,m,(P or p) 第m指，第n関節, ±dqの増減",
      "\n'W'：ワークの選定      key='1':球,  '2':有限円筒",
      "\n'M'：ワークの初期位置姿勢変更",
      "\n     key=(X,x),(Y,y),(Z,z) : ±X,±Y,±Z方向の移動",
      "\n     key=(p,P),(q,Q),(r,R) : (X,Y,Z)回りの回転",
      "\n'V'：ワークの運動速度変更",
      "\n     key=(X,x),(Y,y),(Z,z) : ±X,±Y,±Z方向速度増減",
      "\n     key=(p,P),(q,Q),(r,R) : (X,Y,Z)回りの回転速度増減",
      "\n//--------------- キーによる操作(2) 把握計算 --------------------------//",
      "\n'G'：把握の計算と結果の描画",
      "\n     key='s'でn指リンク接触計算を順に行う",
      "\n//--------------- キーによる操作(3,4) 操り計算 -------------------------//",
      "\n'A'：操りの計算と結果の描画",
      "\n     key='s'で1stepの(1～n)指リンク操り計算",
      "\n'D'：操りの動画の描画  key='s'で1stepの操り再現",
      "\n//--------------- キーによる操作(5) 画面の移動 ------------------------//",
      "\n'I'：画面の座標軸の移動と回転",
      "\n     key=(X,x),(Y,y),(Z,z)：±[X,Y,Z]方向に座標系移動",
      "\n     key=(P,p),(Q,q),(R,r)：[X,Y,Z]各軸回り座標系±回転",
      "\n[註1]'G','A','D'の途中に'I'の操作をし,'G','A','D'に戻れば途中から計算続行する．",
      "\n[註2] 描画画面でキーに応答しない → 描画画面でclick → 操作可",
      "\n//---------------------------------------------------------------------//\n",
  };
  for (const char* line : kLines) con.Write(line);
}

}  // namespace rg
