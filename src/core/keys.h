// The six-axis keys of the setting modes: x X, y Y, z Z move along the X, Y and Z
// axes and p P, q Q, r R turn about them; lower case is the minus direction.
#pragma once

namespace rg {

struct AxisKey {
  bool valid = false;
  bool turn = false;  // p P q Q r R
  int axis = 0;       // 0, 1, 2 for X, Y, Z
  int sign = 0;       // -1 lower case, +1 upper case
};

inline AxisKey ParseAxisKey(char key) {
  static const char kMove[] = "xyz", kTurn[] = "pqr";
  AxisKey k;
  const bool upper = key >= 'A' && key <= 'Z';
  const char low = upper ? static_cast<char>(key - 'A' + 'a') : key;
  for (int i = 0; i < 3; ++i) {
    if (low == kMove[i] || low == kTurn[i]) {
      k.valid = true;
      k.turn = (low == kTurn[i]);
      k.axis = i;
      k.sign = upper ? 1 : -1;
    }
  }
  return k;
}

}  // namespace rg
