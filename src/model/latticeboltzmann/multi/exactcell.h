#pragma once

#include "model/latticeboltzmann/basecell.h"

#include <typeinfo>

// The cell as a T when its class is exactly T, else null. A step asks this
// of every neighbour: comparing the addresses of the class descriptions costs
// two loads, where a dynamic_cast to a class the cell is not walks the class
// tree and compares class names. Where one class has two descriptions (a
// class shared across libraries), the address differs and the caller's
// general path decides, so the answer is never wrong, only slower.
template <class T>
T *exactCell(BaseCell *cell)
{
    return cell && &typeid(*cell) == &typeid(T) ? static_cast<T *>(cell) : nullptr;
}
