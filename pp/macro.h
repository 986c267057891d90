// The macro table.  A definition keeps its own copy of the definition text, and its body
// tokens point into that copy.  Definitions are never freed before the run ends (an #undef or
// a redefinition only unlinks the name), so tokens of a body stay valid even while the name is
// being redefined.  Each name has a fixed small id, the unit of the expander's hide sets.
//
// Body tokens are prepared once at definition time: comments become blanks, runs of blanks
// one blank, no blanks at either end or around '##', parameters carry their index in aux, and
// '#' before a parameter (function-like macros) and '##' carry their operator marks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pp/token.h"

namespace ruvopp {

struct Macro {
    std::string name;
    int id = 0;
    bool function_like = false;
    bool variadic = false; // the last parameter is "..." (__VA_ARGS__)
    int params = 0;
    std::string text; // definition text that [body] points into
    TokenList body;
};

class MacroTable {
public:
    const Macro* find(std::string_view name) const;
    bool defined(std::string_view name) const { return find(name) != nullptr; }

    // Defines a macro from the text after "#define" (name, optional parameter list, body).
    // On a malformed definition returns false and sets [error].
    bool define(std::string_view definition, std::string& error);
    void undef(std::string_view name);

    // The first token of [text] when it is a name that may be defined, else an empty view;
    // [error] tells why not.
    static std::string_view macro_name(std::string_view text, std::string& error);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Entry {
        int id;
        const Macro* current; // null while the name is not defined
    };
    using NameMap = std::unordered_map<std::string, Entry, Hash, std::equal_to<>>;

    bool parse_params(Macro& m, std::string_view text, size_t& pos,
                      std::vector<std::string_view>& names, std::string& error);
    bool prepare_body(Macro& m, std::string_view body, const std::vector<std::string_view>& names,
                      std::string& error);

    NameMap m_names;
    std::vector<std::unique_ptr<Macro>> m_all;
};

} // namespace ruvopp
