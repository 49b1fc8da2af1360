// Shoemake's polar decomposition, worked in double. In row-vector form the
// upper 3x3 A of M splits as A = K * (f * Q): K symmetric positive
// (semi-)definite, the stretch; Q a proper rotation; f the determinant's sign.
#include <cmath>
#include <limits>
#include <utility>

#include "geometry/geometry.h"

namespace {

struct Mat {
  double m[3][3];
};

Mat Transpose(const Mat& a) {
  Mat r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
  }
  return r;
}

Mat Multiply(const Mat& a, const Mat& b) {
  Mat r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
  }
  return r;
}

// Cofactors: row i is the cross product of the other two rows, so
// det = row0 . cofactor row0 and the inverse transpose is cofactors / det.
Mat Cofactors(const Mat& a) {
  Mat r;
  for (int i = 0; i < 3; ++i) {
    const double* p = a.m[(i + 1) % 3];
    const double* q = a.m[(i + 2) % 3];
    r.m[i][0] = p[1] * q[2] - p[2] * q[1];
    r.m[i][1] = p[2] * q[0] - p[0] * q[2];
    r.m[i][2] = p[0] * q[1] - p[1] * q[0];
  }
  return r;
}

double Det(const Mat& a) {
  const Mat c = Cofactors(a);
  return a.m[0][0] * c.m[0][0] + a.m[0][1] * c.m[0][1] + a.m[0][2] * c.m[0][2];
}

double NormOne(const Mat& a) {
  double best = 0.0;
  for (int j = 0; j < 3; ++j) {
    const double sum = std::fabs(a.m[0][j]) + std::fabs(a.m[1][j]) + std::fabs(a.m[2][j]);
    if (sum > best) best = sum;
  }
  return best;
}

double NormInf(const Mat& a) {
  double best = 0.0;
  for (const auto& row : a.m) {
    const double sum = std::fabs(row[0]) + std::fabs(row[1]) + std::fabs(row[2]);
    if (sum > best) best = sum;
  }
  return best;
}

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double* a, const double* b, double* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

void Unit(double* v) {
  const double n = std::sqrt(Dot(v, v));
  for (int i = 0; i < 3; ++i) v[i] /= n;
}

// Any unit vector perpendicular to the unit vector v.
void Perpendicular(const double* v, double* out) {
  int least = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::fabs(v[i]) < std::fabs(v[least])) least = i;
  }
  double axis[3] = {0.0, 0.0, 0.0};
  axis[least] = 1.0;
  Cross(v, axis, out);
  Unit(out);
}

// Cyclic Jacobi on a symmetric matrix: s = V * diag(d) * V^T, eigenvector i
// in column i of V. Off-diagonal entries below tolerance times the largest
// entry count as zero.
void Jacobi(Mat s, double tolerance, double d[3], Mat* v) {
  *v = Mat{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  double scale = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) scale = std::fabs(s.m[i][j]) > scale ? std::fabs(s.m[i][j]) : scale;
  }
  const double negligible = scale * tolerance;
  for (int sweep = 0; sweep < 50; ++sweep) {
    bool rotated = false;
    for (int p = 0; p < 2; ++p) {
      for (int q = p + 1; q < 3; ++q) {
        const double apq = s.m[p][q];
        if (!(std::fabs(apq) > negligible)) continue;
        const double theta = (s.m[q][q] - s.m[p][p]) / (2.0 * apq);
        const double t =
            (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
        for (int k = 0; k < 3; ++k) {
          const double skp = s.m[k][p], skq = s.m[k][q];
          s.m[k][p] = c * skp - sn * skq;
          s.m[k][q] = sn * skp + c * skq;
        }
        for (int k = 0; k < 3; ++k) {
          const double spk = s.m[p][k], sqk = s.m[q][k];
          s.m[p][k] = c * spk - sn * sqk;
          s.m[q][k] = sn * spk + c * sqk;
        }
        for (int k = 0; k < 3; ++k) {
          const double vkp = v->m[k][p], vkq = v->m[k][q];
          v->m[k][p] = c * vkp - sn * vkq;
          v->m[k][q] = sn * vkp + c * vkq;
        }
        rotated = true;
      }
    }
    if (!rotated) break;
  }
  for (int i = 0; i < 3; ++i) d[i] = s.m[i][i];
}

// Orthogonal polar factor of a with det(a) > 0 well clear of zero: Newton's
// iteration Q <- (g Q + Q^-T / g) / 2 with Higham's scaling g.
Mat NewtonPolar(const Mat& a) {
  Mat q = a;
  for (int iter = 0; iter < 100; ++iter) {
    const Mat cof = Cofactors(q);
    const double det = q.m[0][0] * cof.m[0][0] + q.m[0][1] * cof.m[0][1] + q.m[0][2] * cof.m[0][2];
    const double g =
        std::sqrt(std::sqrt(NormOne(cof) * NormInf(cof) / (NormOne(q) * NormInf(q))) / det);
    const double g1 = 0.5 * g, g2 = 0.5 / (g * det);
    Mat next;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) next.m[i][j] = g1 * q.m[i][j] + g2 * cof.m[i][j];
    }
    Mat diff;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) diff.m[i][j] = next.m[i][j] - q.m[i][j];
    }
    q = next;
    if (!(NormOne(diff) > 1e-14 * NormOne(q))) break;
  }
  return q;
}

// Polar factor of a (nearly) singular a through its singular vectors: with
// a a^T = V diag(s^2) V^T, the rows w_i = v_i^T a / s_i that survive are
// completed to a right-handed frame and Q = V W^T.
Mat RankDeficientPolar(const Mat& a) {
  double lambda[3];
  Mat v;
  Jacobi(Multiply(a, Transpose(a)), 1e-18, lambda, &v);
  int order[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i) {
    for (int j = i + 1; j < 3; ++j) {
      if (lambda[order[j]] > lambda[order[i]]) std::swap(order[i], order[j]);
    }
  }
  double vs[3][3], ws[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) vs[i][k] = v.m[k][order[i]];
  }
  const double top = std::sqrt(std::fmax(lambda[order[0]], 0.0));
  int rank = 0;
  for (int i = 0; i < 2; ++i) {
    const double sigma = std::sqrt(std::fmax(lambda[order[i]], 0.0));
    if (!(sigma > 1e-6 * top)) break;
    for (int k = 0; k < 3; ++k) {
      ws[i][k] = vs[i][0] * a.m[0][k] + vs[i][1] * a.m[1][k] + vs[i][2] * a.m[2][k];
    }
    ++rank;
  }
  if (rank == 0) return Mat{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  Unit(ws[0]);
  if (rank == 1) {
    Perpendicular(ws[0], ws[1]);
  } else {
    const double along = Dot(ws[0], ws[1]);
    for (int k = 0; k < 3; ++k) ws[1][k] -= along * ws[0][k];
    Unit(ws[1]);
  }
  Cross(ws[0], ws[1], ws[2]);
  double vdet[3];
  Cross(vs[0], vs[1], vdet);
  if (Dot(vdet, vs[2]) < 0.0) {
    for (double& x : ws[2]) x = -x;
  }
  Mat q;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      q.m[i][j] = vs[0][i] * ws[0][j] + vs[1][i] * ws[1][j] + vs[2][i] * ws[2][j];
  }
  return q;
}

Point3 Row(const double* r) { return Point3(float(r[0]), float(r[1]), float(r[2])); }

Matrix3 ToMatrix3(const Mat& a) { return Matrix3(Row(a.m[0]), Row(a.m[1]), Row(a.m[2]), Point3()); }

// Of the 24 ways to list the same stretch axes as a right-handed frame, the
// one nearest the identity (largest trace), so an axis-aligned stretch gets
// u = identity and k in x, y, z order.
void Snuggle(Mat* u, double k[3]) {
  static const int kPerms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1},
                                   {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
  int bestPerm = 0;
  double bestSigns[3] = {1, 1, 1};
  double bestTrace = -std::numeric_limits<double>::infinity();
  for (int p = 0; p < 6; ++p) {
    const int* perm = kPerms[p];
    double signs[3], trace = 0.0, parity = p < 3 ? 1.0 : -1.0;
    int weakest = 0;
    for (int i = 0; i < 3; ++i) {
      const double c = u->m[perm[i]][i];
      signs[i] = c < 0.0 ? -1.0 : 1.0;
      parity *= signs[i];
      trace += std::fabs(c);
      if (std::fabs(c) < std::fabs(u->m[perm[weakest]][weakest])) weakest = i;
    }
    if (parity < 0.0) {
      signs[weakest] = -signs[weakest];
      trace -= 2.0 * std::fabs(u->m[perm[weakest]][weakest]);
    }
    if (trace > bestTrace) {
      bestTrace = trace;
      bestPerm = p;
      for (int i = 0; i < 3; ++i) bestSigns[i] = signs[i];
    }
  }
  const Mat old = *u;
  const double oldK[3] = {k[0], k[1], k[2]};
  for (int i = 0; i < 3; ++i) {
    const int from = kPerms[bestPerm][i];
    for (int j = 0; j < 3; ++j) u->m[i][j] = bestSigns[i] * old.m[from][j];
    k[i] = oldK[from];
  }
}

}  // namespace

namespace {

// The upper 3x3 of m with the sign of its determinant taken out (*f), and
// its orthogonal polar factor. False, with nothing set, when an entry is not
// finite.
bool PolarParts(const Matrix3& m, Mat* a, double* f, Mat* q) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      a->m[i][j] = m.GetRow(i)[j];
      if (!std::isfinite(a->m[i][j])) return false;
    }
  }
  const double det = Det(*a);
  *f = det < 0.0 ? -1.0 : 1.0;
  double frob2 = 0.0;
  for (auto& row : a->m) {
    for (double& x : row) {
      x *= *f;
      frob2 += x * x;
    }
  }
  // Newton needs an inverse; below this the matrix has lost a dimension.
  const bool singular = !(std::fabs(det) > 1e-12 * frob2 * std::sqrt(frob2));
  *q = singular ? RankDeficientPolar(*a) : NewtonPolar(*a);
  return true;
}

}  // namespace

void decomp_affine(const Matrix3& m, AffineParts* parts) {
  parts->t = m.GetTrans();
  Mat a;
  double f;
  Mat q;
  if (!PolarParts(m, &a, &f, &q)) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    parts->q = parts->u = Quat(nan, nan, nan, nan);
    parts->k = Point3(nan, nan, nan);
    parts->f = nan;
    return;
  }

  Mat stretch = Multiply(a, Transpose(q));
  for (int i = 0; i < 3; ++i) {
    for (int j = i + 1; j < 3; ++j)
      stretch.m[i][j] = stretch.m[j][i] = 0.5 * (stretch.m[i][j] + stretch.m[j][i]);
  }
  double k[3];
  Mat v;
  // Float input leaves noise of a few 1e-8 in the stretch; ignoring it keeps
  // a uniform stretch unrotated.
  Jacobi(stretch, 4e-7, k, &v);
  // K = V diag(k) V^T = U^-1 Scale(k) U, so U holds the eigenvectors as rows;
  // V is a product of plane rotations, so U is a proper rotation.
  Mat u = Transpose(v);
  Snuggle(&u, k);

  parts->q = MatrixToQuat(ToMatrix3(q));
  parts->u = MatrixToQuat(ToMatrix3(u));
  parts->k =
      Point3(float(std::fmax(k[0], 0.0)), float(std::fmax(k[1], 0.0)), float(std::fmax(k[2], 0.0)));
  parts->f = float(f);
}

Quat EssentialRotation(const Matrix3& m) {
  Mat a;
  double f;
  Mat q;
  if (!PolarParts(m, &a, &f, &q)) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return Quat(nan, nan, nan, nan);
  }
  return MatrixToQuat(ToMatrix3(q));
}
