// Notes: what a computation met that the user is to be told about. Numerics and
// physics never print and never wait; they append a note (a kind and its numbers)
// and go on, and the application prints each note's text in order, waiting for a
// console key where the note asks for one.
#pragma once

#include <vector>

namespace rg {

struct Note {
  enum Kind : unsigned char {
    SineOnly,       // TRI2 met an equation in sin alone (a = BC1, b = BCS)
    NoInverse,      // a matrix inverse met a zero pivot (i = row, a = pivot)
    JacobianCheck,  // a Newton Jacobian does not reproduce the errors (wait for 'e')
    FingerStuck,    // a finger found no rolling motion (i = finger, c = its letter; wait)
    StepStuck,      // a step found none: retried with a smaller time step, or stopped
                    // when that was below the smallest one (i = finger, a = time step; wait)
  };
  Kind kind;
  int i = 0;
  char c = 0;
  double a = 0.0, b = 0.0;
};

using Notes = std::vector<Note>;

// Appends a note when there is a list to append to.
inline void AddNote(Notes* notes, const Note& n) {
  if (notes != nullptr) notes->push_back(n);
}

}  // namespace rg
