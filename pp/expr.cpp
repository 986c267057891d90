// Evaluation of #if expressions by precedence climbing (see expr.h).
#include "pp/expr.h"

#include <array>
#include <limits>
#include <string_view>

namespace ruvopp {

namespace {

struct BinaryOp {
    std::string_view text;
    int prec; // higher binds tighter
};

constexpr std::array<BinaryOp, 18> kBinary = {{
    {"*", 10},
    {"/", 10},
    {"%", 10},
    {"+", 9},
    {"-", 9},
    {"<<", 8},
    {">>", 8},
    {"<", 7},
    {">", 7},
    {"<=", 7},
    {">=", 7},
    {"==", 6},
    {"!=", 6},
    {"&", 5},
    {"^", 4},
    {"|", 3},
    {"&&", 2},
    {"||", 1},
}};

uint64_t u(int64_t v) {
    return static_cast<uint64_t>(v);
}
int64_t s(uint64_t v) {
    return static_cast<int64_t>(v);
}

class Parser {
public:
    Parser(const TokenList& tokens, int max_depth) : m_max_depth(max_depth) {
        for (const Token& t : tokens)
            if (!t.blank()) m_tokens.push_back(t);
    }

    bool run(int64_t& value, std::string& error) {
        if (m_tokens.empty()) {
            error = "#if with no expression";
            return false;
        }
        value = comma(true);
        if (m_error.empty() && m_pos < m_tokens.size())
            fail("missing binary operator before \"" + std::string(m_tokens[m_pos].text) + "\"");
        error = m_error;
        return m_error.empty();
    }

private:
    bool ok() const { return m_error.empty(); }
    void fail(std::string msg) {
        if (ok()) m_error = std::move(msg);
    }
    bool at(std::string_view op) const {
        return m_pos < m_tokens.size() && m_tokens[m_pos].kind == Tok::Punct &&
               m_tokens[m_pos].text == op;
    }

    // Guards one level of nesting (parenthesis, unary operator, ?: arm).
    struct Nest {
        Parser& p;
        explicit Nest(Parser& parser) : p(parser) {
            if (++p.m_depth > p.m_max_depth) p.fail("#if expression nested too deeply");
        }
        ~Nest() { --p.m_depth; }
    };

    int64_t comma(bool live) {
        int64_t v = conditional(live);
        while (ok() && at(",")) {
            ++m_pos;
            v = conditional(live);
        }
        return v;
    }

    int64_t conditional(bool live) {
        Nest nest(*this);
        if (!ok()) return 0;
        int64_t c = binary(1, live);
        if (!ok() || !at("?")) return c;
        ++m_pos;
        int64_t a = comma(live && c != 0);
        if (!ok()) return 0;
        if (!at(":")) {
            fail("missing ':' in #if expression");
            return 0;
        }
        ++m_pos;
        int64_t b = conditional(live && c == 0);
        return c != 0 ? a : b;
    }

    const BinaryOp* binary_op() const {
        if (m_pos >= m_tokens.size() || m_tokens[m_pos].kind != Tok::Punct) return nullptr;
        for (const BinaryOp& op : kBinary)
            if (op.text == m_tokens[m_pos].text) return &op;
        return nullptr;
    }

    int64_t binary(int min_prec, bool live) {
        int64_t lhs = unary(live);
        while (ok()) {
            const BinaryOp* op = binary_op();
            if (!op || op->prec < min_prec) break;
            ++m_pos;
            bool rhs_live = live;
            if (op->text == "&&") rhs_live = live && lhs != 0;
            if (op->text == "||") rhs_live = live && lhs == 0;
            int64_t rhs = binary(op->prec + 1, rhs_live);
            if (!ok()) break;
            lhs = apply(op->text, lhs, rhs, rhs_live);
        }
        return lhs;
    }

    int64_t apply(std::string_view op, int64_t a, int64_t b, bool live) {
        switch (op[0]) {
        case '*': return s(u(a) * u(b));
        case '/':
        case '%':
            if (b == 0) {
                if (live) fail("division by zero in #if");
                return 0;
            }
            if (b == -1) return op[0] == '/' ? s(0 - u(a)) : 0;
            return op[0] == '/' ? a / b : a % b;
        case '+': return s(u(a) + u(b));
        case '-': return s(u(a) - u(b));
        case '<':
            if (op == "<<") return (b < 0 || b > 63) ? 0 : s(u(a) << b);
            return op == "<=" ? a <= b : a < b;
        case '>':
            if (op == ">>") return (b < 0 || b > 63) ? (a < 0 ? -1 : 0) : a >> b;
            return op == ">=" ? a >= b : a > b;
        case '=': return a == b;
        case '!': return a != b;
        case '&': return op == "&&" ? (a != 0 && b != 0) : a & b;
        case '^': return a ^ b;
        case '|': return op == "||" ? (a != 0 || b != 0) : a | b;
        }
        return 0;
    }

    int64_t unary(bool live) {
        if (m_pos >= m_tokens.size()) {
            fail("#if expression ends early");
            return 0;
        }
        const Token& t = m_tokens[m_pos];
        if (t.kind == Tok::Punct && (t.is('-') || t.is('+') || t.is('~') || t.is('!'))) {
            Nest nest(*this);
            ++m_pos;
            int64_t v = ok() ? unary(live) : 0;
            switch (t.text[0]) {
            case '-': return s(0 - u(v));
            case '~': return ~v;
            case '!': return v == 0;
            default: return v;
            }
        }
        if (t.is('(')) {
            ++m_pos;
            int64_t v = comma(live);
            if (ok() && !at(")")) fail("missing ')' in #if expression");
            ++m_pos;
            return v;
        }
        ++m_pos;
        if (t.kind == Tok::Ident) return 0;
        if (t.kind == Tok::Number) return number(t.text);
        fail("token \"" + std::string(t.text) + "\" is not valid in #if");
        return 0;
    }

    // Decimal, 0x hexadecimal, 0b binary or 0 octal digits, then any of the suffixes u and l.
    int64_t number(std::string_view text) {
        unsigned base = 10;
        size_t i = 0;
        if (text.size() > 1 && text[0] == '0') {
            if (text[1] == 'x' || text[1] == 'X')
                base = 16, i = 2;
            else if (text[1] == 'b' || text[1] == 'B')
                base = 2, i = 2;
            else
                base = 8, i = 1;
        }
        uint64_t v = 0;
        size_t digits = 0;
        bool overflow = false;
        for (; i < text.size(); ++i) {
            char c = text[i];
            unsigned d;
            if (c >= '0' && c <= '9')
                d = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                d = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                d = static_cast<unsigned>(c - 'A' + 10);
            else
                break;
            if (d >= base) break;
            if (v > (std::numeric_limits<uint64_t>::max() - d) / base) overflow = true;
            v = v * base + d;
            ++digits;
        }
        while (i < text.size() &&
               (text[i] == 'u' || text[i] == 'U' || text[i] == 'l' || text[i] == 'L'))
            ++i;
        if (i != text.size() || (digits == 0 && base != 8)) {
            fail("invalid integer constant \"" + std::string(text) + "\" in #if");
        } else if (overflow) {
            fail("integer constant \"" + std::string(text) + "\" is too large");
        }
        return s(v);
    }

    TokenList m_tokens;
    size_t m_pos = 0;
    int m_depth = 0;
    int m_max_depth;
    std::string m_error;
};

} // namespace

bool eval_expression(const TokenList& tokens, int64_t& value, std::string& error, int max_depth) {
    Parser p(tokens, max_depth);
    return p.run(value, error);
}

} // namespace ruvopp
