/* The parser: tokens to the syntax tree.
 *
 * An LALR(1) grammar with precedence declarations.  Actions build nodes (front/node.h), group
 * statements into the Contexts of the block stack, check what the grammar cannot say, and
 * keep top-level function definitions pending until the whole source has parsed.  Every node
 * built is also on frontend.nodes, so a failed parse frees them all from that list without
 * walking half-built trees; the Contexts and FuncInfos made on the way are emptied of their
 * nodes first, so that nothing is freed twice.
 *
 * The lists (arguments, elements, parameters, declarators ...) are left-recursive with a tail
 * pointer: a right-recursive list keeps every item on the parser stack until its end, and the
 * stack holds only 500 states.  Items are chained through next, first item first, and expression
 * lists nest OP_LIST to the right, as a right-recursive grammar would build them.
 */
%define api.prefix {rvyy}

%code requires {
#include "io/stdstream.h"
#include "front/node.h"
namespace ruvo {
// A list under construction: its first and last item.
struct NodeChain {
    Node* head;
    Node* tail;
};
} // namespace ruvo
}

%code {
#include <cstring>

#include "core/reserve.h"
#include "eval/func.h"
#include "front/parser.h"
#include "front/source.h"
#include "io/ostext.h"

// The parser's state and value stacks: 500 entries, never grown.  Deeper nesting fails the
// parse with "yacc stack overflow".
#define YYINITDEPTH 500
#define YYMAXDEPTH 500

int rvyylex();
void rvyyerror(const char* message);

using namespace ruvo;

namespace {

NodeChain chain_start(Node* n) { return {n, n}; }

NodeChain chain_add(NodeChain c, Node* n) {
    c.tail->next = n;
    c.tail = n;
    return c;
}

// An expression list a, b, c nests as (LIST a (LIST b c)): head is the outermost OP_LIST
// (or the single expression), tail the innermost OP_LIST (null while there is one item).
NodeChain expr_list_add(NodeChain c, Node* n) {
    if (!c.tail) {
        Node* l = new_node(OP_LIST, c.head, n);
        return {l, l};
    }
    Node* l = new_node(OP_LIST, c.tail->right, n);
    c.tail->right = l;
    c.tail = l;
    return c;
}

// The right side of "a < b <= c" takes the chained opcodes, so every node of a chain is a
// chained node; a single comparison stays plain.
Node* chained(int op, Node* left, Node* rest) {
    if (rest->op >= OP_EQ && rest->op <= OP_LE) rest->op += OP_CEQ - OP_EQ;
    return new_node(op + (OP_CEQ - OP_EQ), left, rest);
}

int count_chain(Node* n) {
    int k = 0;
    for (; n; n = n->next) ++k;
    return k;
}

bool is_destructuring_item(const Node* n) {
    return n->op == OP_IDENT || n->op == OP_INDEX || n->op == OP_MEMBER || n->op == OP_NULL;
}

void append_statement(Node* s) {
    if (s) frontend.blocks.back()->stmts.push_back(s);
}

// A function defined at the top level is committed when the parse succeeds; one defined in a
// block becomes a statement that defines it when it runs.
Node* function_definition(Node* name_node, Node* params, Node* body) {
    Atom name = name_node->name();
    discard_node(name_node);
    // The nodes stay the parse's (on its node list) until something that owns them is itself
    // owned, so that running out of memory here frees each of them once.
    bool top = frontend.blocks.size() <= 1;
    if (top) reserve_one_more(frontend.pending);
    auto f = std::make_unique<func_data>();
    f->argc = count_chain(params);
    if (top) {
        f->params = params;
        f->body = body;
        frontend.pending.emplace_back(name, f.release());
        return nullptr;
    }
    auto* info = new FuncInfo(name);
    Node* def;
    try {
        def = new_funcdef(name, info);
    } catch (...) {
        delete info;
        throw;
    }
    info->add(f.get());
    func_data* owned = f.release();
    owned->params = params;
    owned->body = body;
    return def;
}

} // namespace

// A check the grammar cannot express fails like a grammar error: reported unless within three
// tokens of the previous error, then the same recovery.
#define SEMANTIC_ERROR()                                                                        \
    do {                                                                                        \
        if (!yyerrstatus) rvyyerror("syntax error");                                            \
        YYERROR;                                                                                \
    } while (0)
}

%union {
    ruvo::Node* node;
    ruvo::NodeChain chain;
}

%token <node> NUMBER 257 IDENT 258 STRING 259 NULLVAL 260 BOOLVAL 261
%token VAR 262 EXTERN 263 STATIC 264 FUNCTION 265 RETURN 266 BREAK 267 CONTINUE 268
%token IF 269 ELSE 270 ELIF 271 WHILE 272 FOREACH 273 FOR 274 DO 275 TRY 276 CATCH 277
%token SWITCH 278 CASE 279 DEFAULT 280
%token EQ 281 NE 282 GT 283 GE 284 LT 285 LE 286 SEQ 287 SNE 288 MATCH 289 NMATCH 290
%token ANDAND 291 OROR 292 ADDEQ 293 SUBEQ 294 MULEQ 295 DIVEQ 296 MODEQ 297
%token SHL 298 SHR 299 USHR 300 ANDEQ 301 OREQ 302 XOREQ 303 SHLEQ 304 SHREQ 305 USHREQ 306
%token INC 307 DEC 308 POW 309
%token <node> REGEX 311
%token SWAP 312 LET 313 STRUCT 314 HASH 315 CLASS 316 NEW 317 BADSTR 318 IDIVEQ 319 POWEQ 320

%right '=' ADDEQ SUBEQ MULEQ DIVEQ MODEQ IDIVEQ POWEQ ANDEQ OREQ XOREQ SHLEQ SHREQ USHREQ '?' ':'
%left ANDAND OROR
%left '&' '|' '^'
%left SEQ SNE '~' MATCH NMATCH
/* The comparisons need no precedence: a comparison is followed only by what follows an
   expression, so "a < b < c" shifts into a chain and "a < b + c" into the sum. */
%left SHL SHR USHR
%left '+' '-'
%left '*' '/' '%' '\\'
%precedence UMINUS
%right POW
%precedence '!'

/* The conflicts left to the default shift, each what the language needs:
 *  - "if (a) if (b) x; else y;" and the same with elif: the else (elif) belongs to the
 *    innermost if; once after "if (...) statement" and once after its elif chain
 *    (2 tokens each, 4 conflicts);
 *  - "try x; catch ..." under another try: the catch belongs to the innermost try (1);
 *  - "(a)" followed by ")": shifting makes "( lvalue )" an lvalue, so "(a) = 1" and
 *    "(a)++" work; reducing to an expression first would forbid them (1). */
%expect 6

%type <node> statement case_label function_def block block_close expr_list declaration
%type <node> declarator declarator_name expr comparison arith unary postfix lvalue
%type <node> assign_target method_call primary string_lit regex_literal array_literal
%type <node> hash_literal hash_entry tuple struct_literal struct_member call if_statement
%type <node> while_statement do_statement try_statement switch_statement
%type <node> for_statement opt_expr_list opt_expr loop_var
%type <chain> param_list params var_list extern_list element_list hash_entries struct_members
%type <chain> arg_list args expr_items tuple_tail elif_chain

%%

program
    : %empty
    | statement_list
    ;

statement_list
    : list_statement
    | statement_list list_statement
    ;

list_statement
    : statement                         { append_statement($1); }
    ;

statement
    : ';'                               { $$ = nullptr; }
    | block
    | expr_list ';'
    | for_statement
    | if_statement
    | while_statement
    | do_statement ';'
    | try_statement
    | RETURN expr_list ';'              { $$ = new_node(OP_RETURN, $2); }
    | RETURN ';'                        { $$ = new_node(OP_RETURN); }
    | BREAK ';'                         { $$ = new_node(OP_BREAK); }
    | CONTINUE ';'                      { $$ = new_node(OP_CONTINUE); }
    | BREAK expr ';'                    { $$ = new_node(OP_BREAK, $2); }
    | CONTINUE expr ';'                 { $$ = new_node(OP_CONTINUE, $2); }
    | switch_statement
    | case_label
    | function_def
    | error ';'                         { $$ = nullptr; }
    ;

case_label
    : CASE expr ':'                     { $$ = new_node(OP_CASE, $2); }
    | DEFAULT                           { $$ = new_leaf(OP_DEFAULT); }
    ;

function_def
    : FUNCTION IDENT '(' param_list ')' block { $$ = function_definition($2, $4.head, $6); }
    ;

/* A trailing comma is allowed in parameter and argument lists: "f(a, b, )" is "f(a, b)". */
param_list
    : %empty                            { $$ = {nullptr, nullptr}; }
    | params
    | params ','
    ;

params
    : IDENT                             { $$ = chain_start($1); }
    | params ',' IDENT                  { $$ = chain_add($1, $3); }
    ;

block
    : block_open block_close            { $$ = $2; }
    | block_open statement_list block_close { $$ = $3; }
    ;

block_open
    : '{'                               {
        frontend.blocks.push_back(nullptr);
        frontend.blocks.back() = new Context;
    }
    ;

block_close
    : '}'                               {
        // The block's node is made first: until it owns the Context, the Context stays open.
        $$ = new_block(frontend.blocks.back());
        frontend.blocks.pop_back();
    }
    ;

expr_list
    : expr_items                        { $$ = $1.head; }
    | declaration
    | expr_items ',' declaration        { $$ = expr_list_add($1, $3).head; }
    ;

expr_items
    : expr                              { $$ = {$1, nullptr}; }
    | expr_items ',' expr               { $$ = expr_list_add($1, $3); }
    ;

declaration
    : VAR var_list                      { $$ = new_node(OP_VAR, $2.head); }
    | STATIC var_list                   { $$ = new_node(OP_STATIC, $2.head); }
    | EXTERN extern_list                { $$ = new_node(OP_EXTERN, $2.head); }
    ;

var_list
    : declarator                        { $$ = chain_start($1); }
    | var_list ',' declarator           { $$ = chain_add($1, $3); }
    ;

declarator
    : declarator_name
    | declarator_name '=' expr          {
        if ($1->op == OP_INDEX) SEMANTIC_ERROR();
        $$ = new_node(OP_ASSIGN, $1, $3);
    }
    ;

declarator_name
    : IDENT
    | IDENT '[' ']'                     { $$ = new_node(OP_INDEX, $1); }
    | IDENT '[' expr ']'                { $$ = new_node(OP_INDEX, $1, $3); }
    ;

extern_list
    : IDENT                             { $$ = chain_start($1); }
    | extern_list ',' IDENT             { $$ = chain_add($1, $3); }
    ;

expr
    : arith
    | expr SEQ expr                     { $$ = new_node(OP_SEQ, $1, $3); }
    | expr SNE expr                     { $$ = new_node(OP_SNE, $1, $3); }
    | expr '~' expr                     { $$ = new_node(OP_MATCH, $1, $3); }
    | expr MATCH expr                   { $$ = new_node(OP_MATCH, $1, $3); }
    | expr NMATCH expr                  { $$ = new_node(OP_NMATCH, $1, $3); }
    | expr '?' expr ':' expr            { $$ = new_record(OP_COND, $1, $3, $5); }
    | expr ANDAND expr                  { $$ = new_node(OP_AND, $1, $3); }
    | expr OROR expr                    { $$ = new_node(OP_OR, $1, $3); }
    | expr '&' expr                     { $$ = new_node(OP_BITAND, $1, $3); }
    | expr '|' expr                     { $$ = new_node(OP_BITOR, $1, $3); }
    | expr '^' expr                     { $$ = new_node(OP_BITXOR, $1, $3); }
    | assign_target '=' expr            { $$ = new_node(OP_ASSIGN, $1, $3); }
    | lvalue ADDEQ expr                 { $$ = new_node(OP_ADDEQ, $1, $3); }
    | lvalue SUBEQ expr                 { $$ = new_node(OP_SUBEQ, $1, $3); }
    | lvalue MULEQ expr                 { $$ = new_node(OP_MULEQ, $1, $3); }
    | lvalue DIVEQ expr                 { $$ = new_node(OP_DIVEQ, $1, $3); }
    | lvalue MODEQ expr                 { $$ = new_node(OP_MODEQ, $1, $3); }
    | lvalue IDIVEQ expr                { $$ = new_node(OP_IDIVEQ, $1, $3); }
    | lvalue POWEQ expr                 { $$ = new_node(OP_POWEQ, $1, $3); }
    | lvalue ANDEQ expr                 { $$ = new_node(OP_ANDEQ, $1, $3); }
    | lvalue OREQ expr                  { $$ = new_node(OP_OREQ, $1, $3); }
    | lvalue XOREQ expr                 { $$ = new_node(OP_XOREQ, $1, $3); }
    | lvalue SHLEQ expr                 { $$ = new_node(OP_SHLEQ, $1, $3); }
    | lvalue SHREQ expr                 { $$ = new_node(OP_SHREQ, $1, $3); }
    | lvalue USHREQ expr                { $$ = new_node(OP_USHREQ, $1, $3); }
    | comparison
    ;

comparison
    : arith EQ arith                    { $$ = new_node(OP_EQ, $1, $3); }
    | arith NE arith                    { $$ = new_node(OP_NE, $1, $3); }
    | arith GT arith                    { $$ = new_node(OP_GT, $1, $3); }
    | arith LT arith                    { $$ = new_node(OP_LT, $1, $3); }
    | arith GE arith                    { $$ = new_node(OP_GE, $1, $3); }
    | arith LE arith                    { $$ = new_node(OP_LE, $1, $3); }
    | arith EQ comparison               { $$ = chained(OP_EQ, $1, $3); }
    | arith NE comparison               { $$ = chained(OP_NE, $1, $3); }
    | arith GT comparison               { $$ = chained(OP_GT, $1, $3); }
    | arith LT comparison               { $$ = chained(OP_LT, $1, $3); }
    | arith GE comparison               { $$ = chained(OP_GE, $1, $3); }
    | arith LE comparison               { $$ = chained(OP_LE, $1, $3); }
    ;

arith
    : arith '+' arith                   { $$ = new_node(OP_ADD, $1, $3); }
    | arith '-' arith                   { $$ = new_node(OP_SUB, $1, $3); }
    | arith '*' arith                   { $$ = new_node(OP_MUL, $1, $3); }
    | arith '/' arith                   { $$ = new_node(OP_DIV, $1, $3); }
    | arith '%' arith                   { $$ = new_node(OP_MOD, $1, $3); }
    | arith '\\' arith                  { $$ = new_node(OP_IDIV, $1, $3); }
    | arith SHL arith                   { $$ = new_node(OP_SHL, $1, $3); }
    | arith SHR arith                   { $$ = new_node(OP_SHR, $1, $3); }
    | arith USHR arith                  { $$ = new_node(OP_USHR, $1, $3); }
    | unary
    ;

unary
    : '-' unary %prec UMINUS            { $$ = new_node(OP_NEG, $2); }
    | '+' unary %prec UMINUS            { $$ = $2; }
    | '~' unary %prec UMINUS            { $$ = new_node(OP_BITNOT, $2); }
    | unary POW unary                   { $$ = new_node(OP_POW, $1, $3); }
    | '!' unary                         { $$ = new_node(OP_NOT, $2); }
    | '&' IDENT                         { $$ = new_node(OP_FUNCREF, $2); }
    | INC lvalue                        { $$ = new_node(OP_PREINC, $2); }
    | DEC lvalue                        { $$ = new_node(OP_PREDEC, $2); }
    | lvalue INC                        { $$ = new_node(OP_POSTINC, $1); }
    | lvalue DEC                        { $$ = new_node(OP_POSTDEC, $1); }
    | postfix
    ;

postfix
    : primary
    | lvalue
    ;

lvalue
    : IDENT
    | postfix '[' expr ']'              { $$ = new_node(OP_INDEX, $1, $3); }
    | postfix '.' IDENT                 { $$ = new_node(OP_MEMBER, $1, $3); }
    | '(' lvalue ')'                    { $$ = $2; }
    | method_call
    ;

assign_target
    : lvalue
    | array_literal                     {
        for (Node* e = $1->left; e; e = e->next)
            if (!is_destructuring_item(e)) SEMANTIC_ERROR();
        $$ = $1;
    }
    ;

method_call
    : postfix '.' IDENT '(' arg_list ')' {
        $$ = new_node(OP_CALL, $5.head, new_node(OP_MEMBER, $1, $3));
    }
    ;

primary
    : NULLVAL
    | BOOLVAL
    | NUMBER
    | string_lit
    | '(' expr ')'                      { $$ = $2; }
    | call
    | array_literal
    | hash_literal
    | tuple
    | struct_literal
    | regex_literal
    ;

string_lit
    : STRING
    | string_lit STRING                 {
        // Appending in place keeps a long run of literals linear; the result is the one
        // string node that concatenating pairwise would give.
        $1->str()->bytes += $2->str()->bytes;
        discard_node($2);
        $$ = $1;
    }
    ;

regex_literal
    : regex_open REGEX                  { $$ = $2; }
    ;

regex_open
    : '/'                               { beginRegexBody(); }
    ;

array_literal
    : '[' ']'                           { $$ = new_node(OP_ARRAY); }
    | '[' element_list ']'              { $$ = new_node(OP_ARRAY, $2.head); }
    ;

element_list
    : expr                              { $$ = chain_start($1); }
    | element_list ',' expr             { $$ = chain_add($1, $3); }
    ;

hash_literal
    : HASH hash_entries ')'             { $$ = new_node(OP_HASH, $2.head); }
    | HASH ')'                          { $$ = new_node(OP_HASH); }
    ;

hash_entries
    : hash_entry                        { $$ = chain_start($1); }
    | hash_entries ',' hash_entry       { $$ = chain_add($1, $3); }
    ;

hash_entry
    : string_lit
    | string_lit '=' expr               { $1->left = $3; $$ = $1; }
    ;

tuple
    : '(' expr tuple_tail ')'           { $2->next = $3.head; $$ = new_node(OP_TUPLE, $2); }
    ;

tuple_tail
    : ',' expr                          { $$ = chain_start($2); }
    | tuple_tail ',' expr               { $$ = chain_add($1, $3); }
    ;

struct_literal
    : STRUCT struct_members ')'         { $$ = new_node(OP_STRUCT, $2.head); }
    ;

struct_members
    : struct_member                     { $$ = chain_start($1); }
    | struct_members ',' struct_member  { $$ = chain_add($1, $3); }
    ;

struct_member
    : IDENT
    | IDENT '=' expr                    { $1->left = $3; $$ = $1; }
    ;

call
    : IDENT '(' arg_list ')'            { $$ = new_node(OP_CALL, $3.head, $1); }
    | SWAP lvalue ',' lvalue ')'        { $$ = new_node(OP_SWAP, $2, $4); }
    | LET lvalue ',' expr ')'           { $$ = new_node(OP_LET, $2, $4); }
    ;

arg_list
    : %empty                            { $$ = {nullptr, nullptr}; }
    | args
    | args ','
    ;

args
    : expr                              { $$ = chain_start($1); }
    | args ',' expr                     { $$ = chain_add($1, $3); }
    ;

if_statement
    : IF '(' expr_list ')' statement    { $$ = new_record(OP_IF, $3, $5, nullptr); }
    | IF '(' expr_list ')' statement ELSE statement { $$ = new_record(OP_IF, $3, $5, $7); }
    | IF '(' expr_list ')' statement elif_chain { $$ = new_record(OP_IF, $3, $5, $6.head); }
    | IF '(' expr_list ')' statement elif_chain ELSE statement {
        $6.tail->record()->kid[2] = $8;
        $$ = new_record(OP_IF, $3, $5, $6.head);
    }
    ;

/* Each elif is the else branch of the one before; left-recursive like the lists, so that a
   long chain does not pile up on the parser stack. */
elif_chain
    : ELIF '(' expr_list ')' statement  { $$ = chain_start(new_record(OP_IF, $3, $5, nullptr)); }
    | elif_chain ELIF '(' expr_list ')' statement {
        Node* n = new_record(OP_IF, $4, $6, nullptr);
        $1.tail->record()->kid[2] = n;
        $$ = {$1.head, n};
    }
    ;

while_statement
    : WHILE '(' expr_list ')' statement { $$ = new_record(OP_WHILE, $3, $5); }
    ;

do_statement
    : DO statement WHILE '(' expr_list ')' { $$ = new_record(OP_DOWHILE, $5, $2); }
    ;

try_statement
    : TRY statement                     { $$ = new_record(OP_TRY, $2, nullptr, nullptr); }
    | TRY statement CATCH '(' loop_var ')' statement { $$ = new_record(OP_TRY, $2, $7, $5); }
    | TRY statement CATCH '(' ')' statement { $$ = new_record(OP_TRY, $2, $6, nullptr); }
    ;

switch_statement
    : SWITCH '(' expr_list ')' block    { $$ = new_record(OP_SWITCH, $3, $5); }
    ;

for_statement
    : FOR '(' opt_expr_list ';' opt_expr ';' opt_expr_list ')' statement {
        $$ = new_record(OP_FOR, $3, $5, $7, $9);
    }
    | FOR '(' loop_var in_word expr ')' statement     { $$ = new_record(OP_FOREACH, $3, $5, $7); }
    | FOREACH '(' loop_var in_word expr ')' statement { $$ = new_record(OP_FOREACH, $3, $5, $7); }
    ;

in_word
    : IDENT                             {
        bool in = $1->name()->text() == "in";
        discard_node($1);
        if (!in) SEMANTIC_ERROR();
    }
    ;

opt_expr_list
    : %empty                            { $$ = nullptr; }
    | expr_list
    ;

opt_expr
    : %empty                            { $$ = nullptr; }
    | expr
    ;

loop_var
    : IDENT
    | VAR IDENT                         { $$ = new_node(OP_VAR, $2); }
    ;

%%

namespace ruvo {

void report_parse_error(const char* message) {
    if (const char* file = frontend.fids.lookup(scan_pos.file))
        std_printf(stderr, "error [%s:%d]: %s\n", file, scan_pos.line, message);
    else
        std_printf(stderr, "error [%d]: %s\n", scan_pos.line, message);
    std::fflush(stderr);
}

namespace {

// Lets go of everything an unfinished parse built.  Every node is on the list: the pending
// definitions, the open Contexts and the nested FuncInfos let go of theirs, then the list
// frees each node once.
void discard_parse(FrontState& f) {
    for (auto& [name, def] : f.pending) {
        def->params = def->body = nullptr;
        delete def;
    }
    f.pending.clear();
    for (Context* c : f.blocks) {
        if (!c) continue; // its allocation failed
        c->stmts.clear();
        delete c;
    }
    f.blocks.clear();
    destroy_node_list(f.nodes);
}

bool defines(Atom name, func_data* def) {
    if (!name->func) return false;
    for (func_data* d : name->func->overloads)
        if (d == def) return true;
    return false;
}

// Enters the top-level definitions in source order and hands over the program.  Memory that
// runs out on the way leaves the definitions entered so far (each one whole) and frees the
// others with the program, which then owns its nodes and no list does.
Context* commit_parse(FrontState& f) {
    Context* program = f.blocks.back();
    f.blocks.clear();
    f.nodes.clear();
    size_t done = 0;
    try {
        for (; done < f.pending.size(); ++done)
            funcman.defineFunction(f.pending[done].first, f.pending[done].second);
    } catch (...) {
        spend_memory_reserve();
        for (size_t i = done; i < f.pending.size(); ++i)
            if (i > done || !defines(f.pending[i].first, f.pending[i].second)) delete f.pending[i].second;
        f.pending.clear();
        delete program;
        throw;
    }
    f.pending.clear();
    return program;
}

} // namespace

// A parse that runs out of memory (or meets any other exception) frees what it built before the
// exception goes on: the scanner and the reader are reset, and no definition is entered.
Context* parse() {
    FrontState& f = frontend;
    f.nodes.clear();
    scan_pos.nodes = &f.nodes;
    f.errors = 0;
    int result = 1;
    try {
        f.blocks.push_back(nullptr);
        f.blocks.back() = new Context;
        result = rvyyparse();
    } catch (...) {
        spend_memory_reserve();
        scan_pos.nodes = nullptr;
        resetScanner();
        f.reader.reset();
        discard_parse(f);
        throw;
    }
    scan_pos.nodes = nullptr;
    resetScanner();
    f.reader.reset();

    if (result == 0 && f.errors == 0 && f.blocks.size() == 1) return commit_parse(f);
    discard_parse(f);
    return nullptr;
}

namespace {
// A source refused for its size: a pipe or a device without end, or more text than the
// scanner takes.
void report_too_large(const char* what, std::string_view name) {
    std::string message = std::string(what) + " too large (more than " +
                          std::to_string(kMaxSourceBytes) + " bytes)";
    if (!name.empty()) message += std::string(": ") + std::string(name);
    report_parse_error(message.c_str());
    frontend.errors = 1;
}
} // namespace

Context* parseFile(const char* path, bool utf8_scripts) {
    if (!setSourceFile(path, utf8_scripts)) {
        std::string shown(frontend.fids.shown(path ? path : ""));
        if (frontend.too_large) {
            report_too_large("Input file", shown);
            return nullptr;
        }
        char message[516];
        std::snprintf(message, sizeof message, "Cannot open input file: %s\n", shown.c_str());
        report_parse_error(message);
        frontend.errors = 1;
        return nullptr;
    }
    if (int bad = frontend.reader->bad_line()) {
        scan_pos.line = bad;
        report_parse_error(kNoShiftJisCode);
        resetScanner();
        frontend.reader.reset();
        frontend.errors = 1;
        return nullptr;
    }
    return parse();
}

Context* parseText(std::string_view text) {
    if (!setSourceText(text)) {
        report_too_large("Script text", "");
        return nullptr;
    }
    return parse();
}

int parseErrorCount() { return frontend.errors; }

} // namespace ruvo

// Every reported error counts; the silent ones within three tokens of the previous error and
// the failed parse's own end do not.
void rvyyerror(const char* message) {
    // The stack is never grown: running out of it is the nesting limit.
    if (std::strcmp(message, "memory exhausted") == 0) message = "yacc stack overflow";
    ++ruvo::frontend.errors;
    ruvo::report_parse_error(message);
}
