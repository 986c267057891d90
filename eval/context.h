// VContext: the control record of one run of a program text.  break, continue and return do
// not unwind the C++ stack: they set `status` and every block, loop, switch and call looks at
// it after each statement (normal control flow never throws).
#pragma once

#include <cstdint>

#include "core/value.h"

namespace ruvo {

struct VContext {
    enum : int32_t { Normal = 0, Break = 1, Continue = 2, Return = 3 };

    Value retval;       // the value of a pending return
    int32_t status = 0; // Normal, Break, Continue or Return
    int32_t line = 0;   // the line of the statement that set the status
    int32_t level = 0;  // loops a pending break or continue still has to leave

    void setJump(int32_t s, int32_t l, int32_t lv) {
        retval.set_null();
        status = s;
        line = l;
        level = lv;
    }
    void setReturn(int32_t l, Value v) {
        retval = std::move(v);
        status = Return;
        line = l;
        level = 0;
    }
    Value take() {
        Value v = std::move(retval);
        status = Normal;
        line = 0;
        level = 0;
        return v;
    }
};

} // namespace ruvo
