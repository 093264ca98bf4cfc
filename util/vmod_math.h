// vmod_math.h - fixed-point math and the random number generator.
//
// The framework's arithmetic for a processor without floating point: sine and
// cosine from one table (16.16 results, 4096 angle steps per turn), tangent,
// integer square root, 4 x 4 matrices in 20.12 (entries 12..14 translation,
// each group of four one basis vector), conversion between IEEE single
// bit patterns and fixed point, and the generator the whole game draws from.
// Depends on: framework/vmod_vtimer.h (the real-time seed of Init).
#pragma once

#include <cstdint>

class ClassVMath {
 public:
  ClassVMath() = default;
  ~ClassVMath();                                        // frees the tables
  ClassVMath(const ClassVMath&) = delete;
  ClassVMath& operator=(const ClassVMath&) = delete;

  bool Init();                                          // builds the tables, seeds from the real-time clock; false when out of memory

  int32_t Sin(uint32_t angle) const;                    // 16.16 sine of angle & 4095; 0 before Init
  int32_t Cos(uint32_t angle) const;                    // 16.16 cosine of angle & 4095; 0 before Init
  int32_t Tan(uint32_t angle) const;                    // 16.16 sine / cosine; -1 where the cosine is near 0; 0 before Init
  int32_t Cotan(uint32_t angle) const;                  // 16.16 cosine / sine; -1 where the sine is near 0; 0 before Init
  static int32_t Abs(int32_t v);                        // absolute value (INT32_MIN stays itself)
  static int32_t IntSqrt(int32_t v);                    // root within 1 of the true one; 0 for v <= 0

  void SetRandSeed(uint32_t seed);                      // sets the generator state
  uint32_t GetRandSeed() const;                         // reads the generator state
  uint32_t Rand();                                      // next 32-bit random number
  uint32_t Rand(uint32_t min, uint32_t max);            // min..max inclusive; min (generator untouched) when min >= max

  static void MatrixLoadIdentity(int32_t* m);           // 4096 on the diagonal, 0 elsewhere
  static void MatrixSetTranslate(int32_t x, int32_t y, int32_t z, int32_t* m); // entries 12..14 = x, y, z
  void MatrixSetRotate(uint32_t ax, uint32_t ay, uint32_t az, int32_t* m) const; // linear part from three angles
  static void MatrixMultiply(int32_t* m, const int32_t* n); // m = m composed with n (n applied first)
  static void MatrixReverse(int32_t* m);                // m = inverse of a rotation plus translation

  static int32_t FloatToFixed(uint32_t bits, int32_t n); // IEEE single to fixed point with n fraction bits, toward zero
  static uint32_t FixedToFloat(int32_t v, int32_t n);   // fixed point with n fraction bits to IEEE single, truncated

 private:
  int32_t* sintable = nullptr;                          // 5120 entries: four quarters and one more for the cosine
  int32_t* costable = nullptr;                          // sintable + 1024
  uint32_t randseed = 0;                                // generator state
};
