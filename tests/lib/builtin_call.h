// Calls a built-in handler the way the evaluator does: looked up by name and argument count in
// its family's table (exact count first, then the any-count entry), with a fresh control
// record and a result preset to null.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/string.h"
#include "eval/context.h"
#include "eval/error.h"
#include "eval/func.h"
#include "lib/registry.h"

namespace ruvo::test {

inline BuiltinHandler find_handler(std::span<const BuiltinDef> family, std::string_view name,
                                   int count) {
    return find_builtin(family, name, count);
}

inline Value call(std::span<const BuiltinDef> family, std::string_view name,
                  std::vector<Value> args) {
    BuiltinHandler h = find_handler(family, name, static_cast<int>(args.size()));
    if (!h) {
        ADD_FAILURE() << name << " is not registered for " << args.size() << " arguments";
        return Value();
    }
    VContext ctx;
    Value result;
    h(ctx, 7, args, result);
    return result;
}

// The message a call raises, or "(nothing raised)".
inline std::string raised(std::span<const BuiltinDef> family, std::string_view name,
                          std::vector<Value> args) {
    try {
        call(family, name, std::move(args));
    } catch (const ScriptError& e) {
        return e.message;
    }
    return "(nothing raised)";
}

// One family bound for a whole test file: `const Family call(pack_builtins());`, then
// `call("pksize", {str("char")})` and `call.raised("pksize", {Value(1)})`.
class Family {
public:
    explicit Family(std::span<const BuiltinDef> family) : family_(family) {}
    Value operator()(std::string_view name, std::vector<Value> args = {}) const {
        return call(family_, name, std::move(args));
    }
    std::string raised(std::string_view name, std::vector<Value> args = {}) const {
        return test::raised(family_, name, std::move(args));
    }

private:
    std::span<const BuiltinDef> family_;
};

// Enters the families into the function table, as start-up does for all of them.
inline void register_families(std::initializer_list<std::span<const BuiltinDef>> families) {
    for (auto family : families)
        for (const BuiltinDef& d : family) funcman.registerBuiltin(d.name, d.count, d.handler);
}

inline Value str(std::string_view s) {
    return make_string(s);
}

// The bytes of a string result; a marker when the result is not a string.
inline std::string text(const Value& v) {
    if (VString* s = v.as_string()) return s->str;
    return "(not a string)";
}

} // namespace ruvo::test
