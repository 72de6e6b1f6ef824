#include "dragwallcell.h"

Vector3d DragWallCell::dragContribution(Grid *, int, int, int)
{
    return Vector3d();
}
