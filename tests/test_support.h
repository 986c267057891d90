// Helpers shared by the unit tests: building values in one expression and catching the
// message of a script error.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>

#include "core/array.h"
#include "eval/error.h"

namespace ruvo::test {

// The message [f] raised as a script error, or "(nothing raised)".
inline std::string raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const ScriptError& e) {
        return e.message;
    }
    return "(nothing raised)";
}

// A new array holding [items] in order.
inline Value arr(std::initializer_list<Value> items) {
    Value a(new VArray());
    for (const Value& v : items) a.as_array()->push(v);
    return a;
}

} // namespace ruvo::test
