// The simulation's transcendental functions from + - * / and sqrt alone (built without fused
// multiply-add). Sine and cosine reduce by pi/2 with four parts of pi/2 below 2^20 * pi/2 and with
// the bits of 2/pi (Payne-Hanek) above, so even a heading of 1e300 radians is reduced exactly.
#include "portable_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr double PiOver4 = 0x1.921fb54442d18p-1;  // below pi/4
constexpr double PiOver2Hi = 0x1.921fb54442d18p+0;
constexpr double PiOver2Lo = 0x1.1a62633145c07p-54;  // pi/2 - PiOver2Hi
constexpr double TwoOverPi = 0x1.45f306dc9c883p-1;

// pi/2 in parts: the first three have 33 bits, so their products with a quadrant count below 2^20
// are exact; the fourth holds the next 53 bits.
constexpr double PiOver2Part1 = 0x1.921fb54400000p+0;
constexpr double PiOver2Part2 = 0x1.0b4611a600000p-34;
constexpr double PiOver2Part3 = 0x1.3198a2e000000p-69;
constexpr double PiOver2Part4 = 0x1.b839a252049c1p-104;
constexpr double MediumLimit = 0x1p20 * PiOver2Hi;

// The fraction bits of 2/pi, 32 at a time: 2/pi = sum of TwoOverPiWords[i] * 2^(-32 (i + 1)).
// The largest double (2^1024) needs the first 38 words.
constexpr int TwoOverPiWordCount = 40;
constexpr uint32_t TwoOverPiWords[TwoOverPiWordCount] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D};

uint64_t BitsOf(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

double FromBits(uint64_t bits) {
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

// 2^e for e in the normal range.
double Pow2(int e) {
  return FromBits(static_cast<uint64_t>(e + 1023) << 52);
}

// s + e = a + b exactly.
void TwoSum(double a, double b, double& s, double& e) {
  s = a + b;
  const double bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}

// a = hi + lo with 26-bit halves (Veltkamp), so products of halves are exact.
void Split(double a, double& hi, double& lo) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  hi = c - (c - a);
  lo = a - hi;
}

// p + e = a * b exactly (Dekker).
void TwoProduct(double a, double b, double& p, double& e) {
  p = a * b;
  double ah, al, bh, bl;
  Split(a, ah, al);
  Split(b, bh, bl);
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// sin(x + y) for |x| at most a little over pi/4 and |y| at most half an ulp of x.
double KernelSin(double x, double y) {
  constexpr double S1 = -1.66666666666666324348e-01;
  constexpr double S2 = 8.33333333332248946124e-03;
  constexpr double S3 = -1.98412698298579493134e-04;
  constexpr double S4 = 2.75573137070700676789e-06;
  constexpr double S5 = -2.50507602534068634195e-08;
  constexpr double S6 = 1.58969099521155010221e-10;
  const double z = x * x;
  const double v = z * x;
  const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
  if (y == 0) return x + v * (S1 + z * r);
  return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// cos(x + y), same ranges.
double KernelCos(double x, double y) {
  constexpr double C1 = 4.16666666666666019037e-02;
  constexpr double C2 = -1.38888888888741095749e-03;
  constexpr double C3 = 2.48015872894767294178e-05;
  constexpr double C4 = -2.75573143513906633035e-07;
  constexpr double C5 = 2.08757232129817482790e-09;
  constexpr double C6 = -1.13596475577881948265e-11;
  const double z = x * x;
  const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
  const double hz = 0.5 * z;
  const double w = 1.0 - hz;
  // 1 - hz rounded, plus what that rounding lost, plus the rest of the series.
  return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// ax = n * pi/2 + hi + lo for pi/4 < ax < MediumLimit; returns n.
int32_t ReduceMedium(double ax, double& hi, double& lo) {
  const int32_t n = static_cast<int32_t>(ax * TwoOverPi + 0.5);
  const double fn = n;
  const double a = ax - fn * PiOver2Part1;  // exact: the two are within a factor of 2
  double b, eb, c, ec;
  TwoSum(a, -(fn * PiOver2Part2), b, eb);
  TwoSum(b, -(fn * PiOver2Part3), c, ec);
  TwoSum(c, (eb + ec) - fn * PiOver2Part4, hi, lo);
  return n;
}

// Bits pos to pos + count - 1 (count <= 64) of a little-endian number of 32-bit limbs; bits
// outside it read as 0.
uint64_t BitsAt(const uint32_t* limbs, int limbCount, int pos, int count) {
  uint64_t out = 0;
  for (int i = count - 1; i >= 0; --i) {
    const int p = pos + i;
    out <<= 1;
    if (p >= 0 && p < 32 * limbCount) out |= (limbs[p >> 5] >> (p & 31)) & 1u;
  }
  return out;
}

// ax = n * pi/2 + hi + lo for a finite ax >= MediumLimit; returns n mod 4. ax * 2/pi is formed
// exactly from the 256 bits of 2/pi that matter at ax's exponent; the result is good to well
// over 106 bits even for the doubles closest to a multiple of pi/2 (about 2^-61 away).
int32_t ReduceLarge(double ax, double& hi, double& lo) {
  constexpr int Words = 8;
  constexpr int Limbs = Words + 2;
  const uint64_t bits = BitsOf(ax);
  const uint64_t m = (bits & ((1ull << 52) - 1)) | (1ull << 52);
  const int k = static_cast<int>(bits >> 52) - 1023 - 52;  // ax = m * 2^k, k >= -32
  // Words of 2/pi whose products with m are multiples of 4 change no quadrant: skip them.
  const int first = k >= 2 ? (k - 2) / 32 + 1 : 1;  // 1-based index of the first word used
  uint32_t w[Words];                                // little-endian
  for (int j = 0; j < Words; ++j) w[j] = TwoOverPiWords[first - 1 + Words - 1 - j];
  const uint32_t mLimbs[2] = {static_cast<uint32_t>(m), static_cast<uint32_t>(m >> 32)};
  uint32_t product[Limbs] = {};
  for (int a = 0; a < 2; ++a) {
    uint64_t carry = 0;
    for (int b = 0; b < Words; ++b) {
      const uint64_t t = static_cast<uint64_t>(mLimbs[a]) * w[b] + product[a + b] + carry;
      product[a + b] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    product[a + Words] = static_cast<uint32_t>(carry);
  }
  // ax * 2/pi = product * 2^-s, up to the skipped multiples of 4.
  const int s = 32 * (first + Words - 1) - k;
  int32_t n = static_cast<int32_t>(BitsAt(product, Limbs, s, 2));
  uint32_t fraction[Limbs];
  for (int i = 0; i < Limbs; ++i) {
    const int low = 32 * i;
    fraction[i] = low >= s ? 0 : s - low >= 32 ? product[i] : product[i] & ((1u << (s - low)) - 1);
  }
  // A fraction of one half or more belongs to the next quadrant, as a negative remainder.
  const bool negative = BitsAt(fraction, Limbs, s - 1, 1) != 0;
  if (negative) {
    ++n;
    uint64_t carry = 1;
    for (int i = 0; i < Limbs; ++i) {
      const uint64_t t = static_cast<uint64_t>(static_cast<uint32_t>(~fraction[i])) + carry;
      fraction[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    for (int i = 0; i < Limbs; ++i) {
      const int low = 32 * i;
      if (low >= s)
        fraction[i] = 0;
      else if (s - low < 32)
        fraction[i] &= (1u << (s - low)) - 1;
    }
  }
  int top = s - 1;
  while (top >= 0 && BitsAt(fraction, Limbs, top, 1) == 0) --top;
  if (top < 0) {
    hi = lo = 0;
    return n & 3;
  }
  const double fHi =
      static_cast<double>(BitsAt(fraction, Limbs, top - 52, 53)) * Pow2(top - 52 - s);
  const double fLo =
      static_cast<double>(BitsAt(fraction, Limbs, top - 105, 53)) * Pow2(top - 105 - s);
  // (fHi + fLo) * pi/2 in double-double arithmetic.
  double p, e;
  TwoProduct(fHi, PiOver2Hi, p, e);
  e += fHi * PiOver2Lo + fLo * PiOver2Hi;
  TwoSum(p, e, hi, lo);
  if (negative) {
    hi = -hi;
    lo = -lo;
  }
  return n & 3;
}

// x = n * pi/2 + hi + lo with |hi + lo| at most a little over pi/4, for finite x; returns n mod 4.
int32_t ReducePiOver2(double x, double& hi, double& lo) {
  const double ax = x < 0 ? -x : x;
  if (ax <= PiOver4) {
    hi = x;
    lo = 0;
    return 0;
  }
  int32_t n = ax < MediumLimit ? ReduceMedium(ax, hi, lo) : ReduceLarge(ax, hi, lo);
  if (x < 0) {
    hi = -hi;
    lo = -lo;
    n = -n;
  }
  return n & 3;
}

}  // namespace

void PortableSinCos(double x, double& sine, double& cosine) {
  if (!(x - x == 0)) {  // an infinity or NaN
    sine = cosine = x - x;
    return;
  }
  const double ax = x < 0 ? -x : x;
  if (ax < 0x1p-27) {  // x^3 / 6 and x^2 / 2 are below half an ulp
    sine = x;
    cosine = 1.0;
    return;
  }
  double hi, lo;
  const int32_t n = ReducePiOver2(x, hi, lo);
  const double s = KernelSin(hi, lo);
  const double c = KernelCos(hi, lo);
  switch (n) {
    case 0:
      sine = s;
      cosine = c;
      break;
    case 1:
      sine = c;
      cosine = -s;
      break;
    case 2:
      sine = -s;
      cosine = -c;
      break;
    default:
      sine = -c;
      cosine = s;
      break;
  }
}

double PortableSin(double x) {
  if (!(x - x == 0)) return x - x;
  if ((x < 0 ? -x : x) < 0x1p-27) return x;
  double hi, lo;
  switch (ReducePiOver2(x, hi, lo)) {
    case 0:
      return KernelSin(hi, lo);
    case 1:
      return KernelCos(hi, lo);
    case 2:
      return -KernelSin(hi, lo);
    default:
      return -KernelCos(hi, lo);
  }
}

double PortableCos(double x) {
  if (!(x - x == 0)) return x - x;
  if ((x < 0 ? -x : x) < 0x1p-27) return 1.0;
  double hi, lo;
  switch (ReducePiOver2(x, hi, lo)) {
    case 0:
      return KernelCos(hi, lo);
    case 1:
      return -KernelSin(hi, lo);
    case 2:
      return -KernelCos(hi, lo);
    default:
      return KernelSin(hi, lo);
  }
}

double PortableAtan(double x) {
  // atan of 0.5, 1 and 1.5 and of infinity, each as a rounded value and the rest.
  constexpr double AtanHi[4] = {0x1.dac670561bb4fp-2, 0x1.921fb54442d18p-1, 0x1.f730bd281f69bp-1,
                                0x1.921fb54442d18p+0};
  constexpr double AtanLo[4] = {0x1.a2b7f222f65e2p-56, 0x1.1a62633145c07p-55, 0x1.007887af0cbbdp-56,
                                0x1.1a62633145c07p-54};
  constexpr double T[11] = {
      3.33333333333329318027e-01,  -1.99999999998764832476e-01, 1.42857142725034663711e-01,
      -1.11111104054623557880e-01, 9.09088713343650656196e-02,  -7.69187620504482999495e-02,
      6.66107313738753120669e-02,  -5.83357013379057348645e-02, 4.97687799461593236017e-02,
      -3.65315727442169155270e-02, 1.62858201153657823623e-02};
  if (x != x) return x + x;
  const bool negative = x < 0;
  double ax = negative ? -x : x;
  if (ax >= 0x1p66) return negative ? -(AtanHi[3] + AtanLo[3]) : AtanHi[3] + AtanLo[3];
  // Shift the argument next to 0, 0.5, 1, 1.5 or infinity, whichever is nearest.
  int id;
  if (ax < 0.4375) {
    if (ax < 0x1p-27) return x;
    id = -1;
  } else if (ax < 0.6875) {
    id = 0;
    ax = (2.0 * ax - 1.0) / (2.0 + ax);
  } else if (ax < 1.1875) {
    id = 1;
    ax = (ax - 1.0) / (ax + 1.0);
  } else if (ax < 2.4375) {
    id = 2;
    ax = (ax - 1.5) / (1.0 + 1.5 * ax);
  } else {
    id = 3;
    ax = -1.0 / ax;
  }
  const double z = ax * ax;
  const double w = z * z;
  const double s1 = z * (T[0] + w * (T[2] + w * (T[4] + w * (T[6] + w * (T[8] + w * T[10])))));
  const double s2 = w * (T[1] + w * (T[3] + w * (T[5] + w * (T[7] + w * T[9]))));
  if (id < 0) return x - x * (s1 + s2);
  const double t = AtanHi[id] - ((ax * (s1 + s2) - AtanLo[id]) - ax);
  return negative ? -t : t;
}

double PortableAsin(double x) {
  constexpr double PS0 = 1.66666666666666657415e-01;
  constexpr double PS1 = -3.25565818622400915405e-01;
  constexpr double PS2 = 2.01212532134862925881e-01;
  constexpr double PS3 = -4.00555345006794114027e-02;
  constexpr double PS4 = 7.91534994289814532176e-04;
  constexpr double PS5 = 3.47933107596021167570e-05;
  constexpr double QS1 = -2.40339491173441421878e+00;
  constexpr double QS2 = 2.02094576023350569471e+00;
  constexpr double QS3 = -6.88283971605453293030e-01;
  constexpr double QS4 = 7.70381505559019352791e-02;
  if (x != x) return x + x;
  const bool negative = x < 0;
  const double ax = negative ? -x : x;
  if (ax >= 1) {
    if (ax == 1) return x * PiOver2Hi + x * PiOver2Lo;
    return (x - x) / (x - x);  // NaN
  }
  // (asin(sqrt(t)) / sqrt(t) - 1) / t = P(t) / Q(t), a rational minimax fit on [0, 1/4].
  auto p = [&](double t) {
    return t * (PS0 + t * (PS1 + t * (PS2 + t * (PS3 + t * (PS4 + t * PS5)))));
  };
  auto q = [&](double t) { return 1.0 + t * (QS1 + t * (QS2 + t * (QS3 + t * QS4))); };
  if (ax < 0.5) {
    if (ax < 0x1p-27) return x;
    const double t = x * x;
    return x + x * (p(t) / q(t));
  }
  // asin(x) = pi/2 - 2 asin(sqrt((1 - x) / 2)).
  const double t = (1.0 - ax) * 0.5;
  const double s = std::sqrt(t);
  double result;
  if (ax >= 0.975) {
    result = PiOver2Hi - (2.0 * (s + s * (p(t) / q(t))) - PiOver2Lo);
  } else {
    // s = w + c with w's low 32 bits cleared, so 2w is exact against pi/4.
    const double w = FromBits(BitsOf(s) & 0xFFFFFFFF00000000ull);
    const double c = (t - w * w) / (s + w);
    const double r = p(t) / q(t);
    const double pp = 2.0 * s * r - (PiOver2Lo - 2.0 * c);
    const double qq = PiOver4 - 2.0 * w;
    result = PiOver4 - (pp - qq);
  }
  return negative ? -result : result;
}
