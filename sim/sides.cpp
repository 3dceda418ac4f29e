// The simulator's sides; a new side adds its entry here.
#include "sim/sim_side.h"

#include <iterator>

extern const SimSide serial_side;
extern const SimSide net_side;

const SimSide* const sim_sides[] = {&serial_side, &net_side};
const size_t sim_side_count = std::size(sim_sides);
