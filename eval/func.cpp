#include "eval/func.h"

#include <cstdio>

#include "eval/scope.h"

namespace ruvo {

FuncMan funcman;

namespace {
FuncInfo* live_funcs = nullptr;
std::vector<func_data*> retired;
} // namespace

void retire_overload(func_data* f) {
    if (f->active > 0)
        retired.push_back(f);
    else
        delete f;
}

void purge_retired_overloads() {
    std::vector<func_data*> r;
    r.swap(retired);
    for (func_data* f : r) delete f;
}

func_data::~func_data() {
    if (params) destroy_node(params);
    if (body) destroy_node(body);
    delete statics;
}

FuncInfo::FuncInfo(Atom n) : name(n) {
    live_next = live_funcs;
    if (live_funcs) live_funcs->live_prev = this;
    live_funcs = this;
}

FuncInfo::~FuncInfo() {
    if (live_prev)
        live_prev->live_next = live_next;
    else
        live_funcs = live_next;
    if (live_next) live_next->live_prev = live_prev;
    for (func_data* f : overloads) retire_overload(f);
}

void FuncInfo::release() {
    if (--refs == 0) {
        delete this;
    } else if (refs < 0) {
        std::fputs("Internal error in FuncInfo::release()\n", stdout);
    }
}

void FuncInfo::add(func_data* f) {
    for (auto it = overloads.begin(); it != overloads.end(); ++it) {
        if ((*it)->argc == f->argc) {
            retire_overload(*it);
            overloads.erase(it);
            break;
        }
    }
    overloads.push_back(f);
}

void FuncInfo::mark_statics() const {
    for (func_data* f : overloads)
        if (f->statics) f->statics->mark();
}

void FuncMan::registerBuiltin(std::string_view name, int count, BuiltinHandler handler) {
    auto* f = new func_data;
    f->builtin = true;
    f->handler = handler;
    f->argc = count;
    defineFunction(intern(name), f);
}

void FuncMan::defineFunction(Atom name, func_data* f) {
    FuncInfo* info = name->func;
    if (!info) {
        info = new FuncInfo(name);
        info->refs = 1;
        name->func = info;
        table_.emplace(std::string(name->text()), info);
    }
    info->add(f);
}

int FuncMan::mainArity() const {
    FuncInfo* m = findFunction("main");
    if (!m) return -1;
    if (m->select(1)) return 1;
    if (m->select(0)) return 0;
    return -1;
}

void FuncMan::clearFunctions() {
    auto t = std::move(table_);
    table_.clear();
    for (auto& [n, info] : t) {
        info->name->func = nullptr;
        info->release();
    }
}

void FuncMan::markAll() const {
    for (FuncInfo* f = live_funcs; f; f = f->live_next) f->mark_statics();
    for (func_data* f : retired)
        if (f->statics) f->statics->mark();
}

} // namespace ruvo
