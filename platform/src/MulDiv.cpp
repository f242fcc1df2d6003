// MulDiv with the Windows rounding and failure value.
#include <stdint.h>

#include "winbase.h"

int WINAPI MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t product = static_cast<int64_t>(number) * numerator;
  int64_t divisor = denominator;
  // A positive divisor lets the sign of the product alone pick the rounding direction.
  if (divisor < 0) {
    divisor = -divisor;
    product = -product;
  }
  const int64_t half = divisor / 2;
  const int64_t quotient = (product >= 0 ? product + half : product - half) / divisor;
  if (quotient > INT32_MAX || quotient < INT32_MIN) return -1;
  return static_cast<int>(quotient);
}
