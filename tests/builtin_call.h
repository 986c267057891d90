// Calls built-in handlers straight from their family tables, the way the evaluator does: a
// fresh control record, a line, the argument vector and a result preset to null.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/string.h"
#include "eval/context.h"
#include "eval/error.h"
#include "lib/registry.h"

namespace ruvo::test {

constexpr int kCallLine = 7;

class BuiltinCaller {
public:
    explicit BuiltinCaller(std::span<const BuiltinDef> family) : family_(family) {}

    Value operator()(std::string_view name, std::vector<Value> args = {}) const {
        VContext ctx;
        Value result;
        find(name, static_cast<int>(args.size()))(ctx, kCallLine, args, result);
        return result;
    }
    // The message the call raises, or "(nothing raised)".
    std::string error(std::string_view name, std::vector<Value> args = {}) const {
        try {
            (*this)(name, std::move(args));
        } catch (const ScriptError& e) {
            return e.message;
        }
        return "(nothing raised)";
    }

private:
    BuiltinHandler find(std::string_view name, int count) const {
        for (const BuiltinDef& d : family_)
            if (name == d.name && (d.count == count || d.count < 0)) return d.handler;
        ADD_FAILURE() << "no built-in " << name << " for " << count << " arguments";
        throw ScriptError{"(no such built-in)"};
    }
    std::span<const BuiltinDef> family_;
};

inline Value str(std::string_view s) {
    return make_string(s);
}
inline std::string bytes_of(const Value& v) {
    VString* s = v.as_string();
    return s ? s->str : std::string("(not a string)");
}

} // namespace ruvo::test
