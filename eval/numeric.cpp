// The numeric programs of expressions: the one out-of-line copy of the machine in
// eval/numeric.h, for eval_num and the statements that store arithmetic outside a loop.
#include "eval/numeric.h"

namespace ruvo {

bool run_numeric(NumStep* s, double& out) {
    return run_numeric_inline<false>(s, out);
}

} // namespace ruvo
