// The side-by-side mixer for the instruction set the whole build targets.
#include "synth/lane_kernel.hpp"

namespace synth::lane_mix {

void mix_vector(batch& b) { mix_batch(b); }

}  // namespace synth::lane_mix
