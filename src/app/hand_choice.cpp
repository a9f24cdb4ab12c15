#include "app/hand_choice.h"

#include <cassert>
#include <utility>

#include "app/keyboard.h"
#include "hand/hand_file.h"

namespace rg {

void SelectHandModel(Sim& s, std::shared_ptr<const Model> model) {
  assert(model && CountsFit(*model));
  s.handModel = std::move(model);
  s.HAND1 = 0;
  selectHand(s, '0');  // not a built-in hand's key: keeps the model just set
}

bool UseHandFile(Sim& s, const std::string& path, std::string* why) {
  HandFileResult r = LoadHandFile(path);
  if (!r.model) {
    *why = r.error;
    return false;
  }
  SelectHandModel(s, std::move(r.model));
  return true;
}

}  // namespace rg
