// Arrays rearranged without a second copy: the snow table's flakes and falls when they are
// arranged, and the falls' arrays as the falls join.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Moves element i of each array to where[i], in place, a cycle at a time; where is left as 0, 1,
// 2 and so on.
template <class... TArrays>
void MoveInPlace(std::vector<uint32_t>& where, TArrays&... arrays) {
  for (size_t i = 0; i < where.size(); ++i)
    while (where[i] != i) {
      const size_t to = where[i];
      (std::swap(arrays[i], arrays[to]), ...);
      std::swap(where[i], where[to]);
    }
}

// Gives the array the length, and its storage back once that is less than half of it, so that
// an array that shrinks again and again is moved a few times rather than every time.
template <class T>
void FitLength(std::vector<T>& array, size_t length) {
  array.resize(length);
  if (array.capacity() / 2 > length) array.shrink_to_fit();
}
