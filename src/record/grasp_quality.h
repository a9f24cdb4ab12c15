// The quality of the grasp as the record holds it: the fingers' contact points and
// normals of a stored row (or of the latest step), judged by the wrench space of
// their contacts about the work's centre, with torques over the work's radius.
#pragma once

#include "core/state.h"

namespace rg {

// Only the contacts that touch the work are judged: a finger lifted by a gait holds
// nothing.
//
// The contacts of stored row m (0 = the grasp itself, rows 0..cntMainip1) as they
// are judged: the touching fingers' contact points and normals pushing into the work, at
// most kMaxQualityContacts of them, and the work's centre and radius (rho).
// Returns their number; 0 for a row that is not stored.
int QualityContactsOfRow(const Sim& s, int m, QualityContact* c, double centre[3], double* rho);
// what: the measures the caller shows; the volume (QualityMeasures::All) costs the
// whole hull, closure and epsilon alone a small part of it.
// With the volume the result is remembered with the record (Sim::qualityMemos), one per
// stored row and one for the latest contacts, and given again while the contacts it
// judges are the same to the last bit: the volume of a row is computed once, however
// often it is shown, and computed afresh once the row holds other contacts. Closure
// and epsilon alone are always computed (the nearest facets, within 1e-13 of the
// hull's epsilon).
// The grasp at stored row m.
QualityResult GraspQualityOfRow(const Sim& s, int m, QualityMeasures what = QualityMeasures::All);
// The grasp as it stands: the latest contacts of a complete grasp (not force closure,
// epsilon 0, when the grasp is not complete). At a stored step the latest contacts
// are those of the record's last row, and share its memo.
QualityResult GraspQualityNow(const Sim& s, QualityMeasures what = QualityMeasures::All);
// The grasp as it stands without finger kf: what would hold the work were kf lifted
// (never remembered).
QualityResult GraspQualityWithout(const Sim& s, int kf,
                                  QualityMeasures what = QualityMeasures::All);

}  // namespace rg
