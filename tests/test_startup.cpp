// Start-up of the simulator: console summary, default scene and grasp reset.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "numerics/vecmat.h"
#include "hand/hand.h"
#include "support.h"
#include "app/startup.h"

using namespace rg;

TEST(StartUp, ConsoleSummaryAndKeyHelpByteForByte) {
  auto s = std::make_unique<Sim>();
  s->con.KeepText();
  StartUp(*s);
  const std::string& text = s->con.text();
  const std::string expected =
      "\n●main()W:-----ワークの描画 WORK1=2--------------------------------●"
      "\n  rwG[]  =(  0.0000 140.0000 -40.0000)"
      "\n  al0= 0.7854(45.00°) bet0= 0.0000( 0.00°) qam0== 0.0000( 0.00°)"
      "\n  EwG[][]=(  1.000000  0.000000  0.000000)"
      "\n          (  0.000000  0.707107 -0.707107)"
      "\n          (  0.000000  0.707107  0.707107)"
      "\n●main()3-------------ワークの設定終了------------------------------●"
      "\n//--------------- キーによる操作(1) 設定 ------------------------------//"
      "\n'H'：ハンドの選定      key='1':2指RQPP, '2':3指RQPP, '3':2指PQPP, '4':3指PQPP"
      "\n'J'：指初期関節角変更  key=n,m,(P or p) 第m指，第n関節, ±dqの増減"
      "\n'W'：ワークの選定      key='1':球,  '2':有限円筒"
      "\n'M'：ワークの初期位置姿勢変更"
      "\n     key=(X,x),(Y,y),(Z,z) : ±X,±Y,±Z方向の移動"
      "\n     key=(p,P),(q,Q),(r,R) : (X,Y,Z)回りの回転"
      "\n'V'：ワークの運動速度変更"
      "\n     key=(X,x),(Y,y),(Z,z) : ±X,±Y,±Z方向速度増減"
      "\n     key=(p,P),(q,Q),(r,R) : (X,Y,Z)回りの回転速度増減"
      "\n//--------------- キーによる操作(2) 把握計算 --------------------------//"
      "\n'G'：把握の計算と結果の描画"
      "\n     key='s'でn指リンク接触計算を順に行う"
      "\n//--------------- キーによる操作(3,4) 操り計算 -------------------------//"
      "\n'A'：操りの計算と結果の描画"
      "\n     key='s'で1stepの(1～n)指リンク操り計算"
      "\n'D'：操りの動画の描画  key='s'で1stepの操り再現"
      "\n//--------------- キーによる操作(5) 画面の移動 ------------------------//"
      "\n'I'：画面の座標軸の移動と回転"
      "\n     key=(X,x),(Y,y),(Z,z)：±[X,Y,Z]方向に座標系移動"
      "\n     key=(P,p),(Q,q),(R,r)：[X,Y,Z]各軸回り座標系±回転"
      "\n[註1]'G','A','D'の途中に'I'の操作をし,'G','A','D'に戻れば途中から計算続行する．"
      "\n[註2] 描画画面でキーに応答しない → 描画画面でclick → 操作可"
      "\n//---------------------------------------------------------------------//\n";
  EXPECT_EQ(text, expected);
}

TEST(StartUp, DefaultSceneIsReadyToGrasp) {
  auto s = rgtest::StartedSim();
  EXPECT_EQ(s->sgnCAL, 'G');
  EXPECT_EQ(s->sgnCALS, 'S');
  EXPECT_EQ(s->sgnCALold, '\0');
  EXPECT_EQ(s->sgnCALGEnd, 'N');
  EXPECT_EQ(s->sgnGRASP, 'Y');
  EXPECT_EQ(s->sgnMANIP, 'Y');
  EXPECT_EQ(s->HAND1, 1);
  EXPECT_EQ(s->nF(), 2);
  EXPECT_EQ(s->nJ(), 4);
  EXPECT_EQ(s->WORK1, '2');
  EXPECT_EQ(s->sgnFJ[0], '1');
  EXPECT_EQ(s->sgnFJ[1], '2');
  EXPECT_EQ(s->rot[1], -18.0);
  EXPECT_EQ(s->trans[2], -0.5);
  EXPECT_EQ(s->rwG[1], 140.0);
  EXPECT_EQ(s->RWW[2], -40.0);
  EXPECT_NEAR(s->EwG[2][1], std::sin(0.7853981639), 1e-15);
  // the default cylinder angle is pi/4 to ten decimals, not the exact double
  EXPECT_EQ(s->al0, 0.7853981639);
  // the initial pose is computed: finger 1 is bent towards +Y (the work side)
  EXPECT_GT(Findirect_kineR(s->model(), s->mount(1), s->qq0[1]).JA[5][1], 50.0);
  for (int kf = 1; kf <= 2; ++kf)
    for (int j = 0; j <= 4; ++j) {
      EXPECT_EQ(s->qf[kf][j], s->qq0[kf][j]);
      EXPECT_EQ(s->qqa[0][kf][j], s->qq0[kf][j]);
    }
}

TEST(GraspReset, IdempotentAndSelective) {
  auto s = rgtest::StartedSim();
  // dirty the state
  s->sgnCALGEnd = 'Y';
  s->sgnGRASP = 'N';
  s->sgnMANIP = 'C';
  s->sgnCALS = 'N';
  s->cntManip0 = 42;
  s->ManipTS = 3.5;
  s->qf[1][4] = 9;
  s->qqa[0][2][3] = 9;
  s->ManipCPNTA2[1][1][0] = 5;
  s->ManipNWA[0][2][1] = 5;
  s->RWW[0] = 77;
  s->EwG[0][0] = 0.5;
  s->sgnCAL = 'A';
  s->sgnCALold = 'G';
  s->nFIN = 2;
  s->cntMainip1 = 12;
  s->cntRepeat = 3;
  s->qq0[1][2] = 0.3;
  RESETGRASP(*s);
  auto once = std::make_unique<Sim>(*s);
  RESETGRASP(*s);
  EXPECT_EQ(std::memcmp(s->qf, once->qf, sizeof s->qf), 0);
  EXPECT_EQ(std::memcmp(s->qqa, once->qqa, sizeof s->qqa), 0);
  EXPECT_EQ(std::memcmp(s->RWW, once->RWW, sizeof s->RWW), 0);

  EXPECT_EQ(s->sgnCALGEnd, 'N');
  EXPECT_EQ(s->sgnGRASP, 'Y');
  EXPECT_EQ(s->sgnMANIP, 'Y');
  EXPECT_EQ(s->sgnCALS, 'S');
  EXPECT_EQ(s->sgnCALGChk, 'Y');
  EXPECT_EQ(s->cntManip0, 0);
  EXPECT_EQ(s->ManipTS, 0.0);
  EXPECT_EQ(s->qf[1][4], s->qq0[1][4]);
  EXPECT_EQ(s->qf[1][2], 0.3);  // qq0 kept, copied into qf
  EXPECT_EQ(s->qqa[0][2][3], s->qq0[2][3]);
  EXPECT_EQ(s->ManipCPNTA2[1][1][0], 0.0);
  EXPECT_EQ(s->ManipNWA[0][2][1], 0.0);
  EXPECT_EQ(s->RWW[0], s->rwG0[0]);
  EXPECT_EQ(s->EwG[0][0], 1.0);
  // untouched by the reset
  EXPECT_EQ(s->sgnCAL, 'A');
  EXPECT_EQ(s->sgnCALold, 'G');
  EXPECT_EQ(s->nFIN, 2);
  EXPECT_EQ(s->cntMainip1, 12);
  EXPECT_EQ(s->cntRepeat, 3);
}
