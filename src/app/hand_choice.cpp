#include "app/hand_choice.h"

#include <cassert>
#include <utility>

#include "app/keyboard.h"
#include "hand/hand_file.h"

namespace rg {

void SelectHandModel(Sim& s, std::shared_ptr<const Model> model) {
  assert(model && CountsFit(*model));
  s.handModel = WithWorkSizes(std::move(model), SizesOf(s.model()));
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

bool SetWorkSizes(Sim& s, const WorkSizes& sizes, std::string* why) {
  const std::string error = WorkSizesError(sizes);
  if (!error.empty()) {
    *why = error;
    return false;
  }
  s.handModel = WithWorkSizes(s.handModel, sizes);
  selectHand(s, '0');  // the fingers open again before the resized work
  return true;
}

}  // namespace rg
