#include "eval/func.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "eval/scope.h"

namespace ruvo {

FuncMan funcman;

namespace {
FuncInfo* live_funcs = nullptr;
std::vector<func_data*> retired;
} // namespace

void retire_overload(func_data* f) {
    if (f->pooled) return;
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
    for (uint32_t i = 0; i < nframes; ++i) delete frames[i];
    delete[] frames;
}

SymMan* func_data::add_frame() {
    if (nframes == frames_room) {
        frames_room = frames_room ? frames_room * 2 : 4;
        auto* grown = new SymMan*[frames_room];
        std::copy(frames, frames + nframes, grown);
        delete[] frames;
        frames = grown;
    }
    SymMan* f = new SymMan(SymMan::Function);
    f->own_slots(slot_names, nslots);
    frames[nframes++] = f;
    return f;
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
        if (pooled)
            this->~FuncInfo(); // its storage belongs to the registration
        else
            delete this;
    } else if (refs < 0) {
        std::fputs("Internal error in FuncInfo::release()\n", stdout);
    }
}

void FuncInfo::add(func_data* f) {
    ++functions_version;
    for (auto it = overloads.begin(); it != overloads.end(); ++it) {
        if ((*it)->argc == f->argc) {
            retire_overload(*it);
            overloads.erase(it);
            break;
        }
    }
    overloads.push_back(f);
}

void OverloadList::push_back(func_data* f) {
    if (size_ == capacity_) {
        auto* d = new func_data*[capacity_ * 2];
        std::copy(data_, data_ + size_, d);
        if (data_ != inline_) delete[] data_;
        data_ = d;
        capacity_ *= 2;
    }
    data_[size_++] = f;
}

void OverloadList::erase(func_data** at) {
    std::copy(at + 1, end(), at);
    --size_;
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

namespace {

// Storage for the vocabulary's func_data and FuncInfo records: carved from large blocks that
// live until the process ends.  A pooled FuncInfo released by the table is destroyed in place;
// its storage is not reused.
struct BuiltinStorage {
    static constexpr size_t kBlock = 32768;
    std::vector<std::unique_ptr<unsigned char[]>> blocks;
    unsigned char* next = nullptr;
    size_t left = 0;

    template <class T> void* take() {
        size_t need = (sizeof(T) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
        if (need > left) {
            blocks.emplace_back(new unsigned char[kBlock]);
            next = blocks.back().get();
            left = kBlock;
        }
        void* p = next;
        next += need;
        left -= need;
        return p;
    }
};
BuiltinStorage builtin_storage;

} // namespace

[[gnu::always_inline]] inline void FuncMan::enter(FuncInfo* info) {
    ++functions_version;
    info->refs = 1;
    info->name->func = info;
    table_.push_back(info);
}

void FuncMan::registerBuiltins(std::span<const BuiltinDef> family) {
    if (table_.empty()) table_.reserve(512);
    Atom name = nullptr;
    for (const BuiltinDef& d : family) {
        // Overloads of one name stand together: the atom found for the previous entry serves.
        if (!name || name->hash != d.hash || name->text() != std::string_view(d.name, d.len))
            name = intern_static(d.name, d.len, d.hash);
        auto* f = new (builtin_storage.take<func_data>()) func_data;
        f->builtin = true;
        f->pooled = true;
        f->handler = d.handler;
        f->argc = d.count;
        f->borrows = d.borrows;
        if (!name->func) {
            auto* info = new (builtin_storage.take<FuncInfo>()) FuncInfo(name);
            info->pooled = true;
            enter(info);
        }
        name->func->add(f);
    }
}

void FuncMan::defineFunction(Atom name, func_data* f) {
    if (!name->func) enter(new FuncInfo(name));
    name->func->add(f);
}

std::map<std::string, FuncInfo*, std::less<>> FuncMan::table() const {
    std::map<std::string, FuncInfo*, std::less<>> m;
    for (FuncInfo* f : table_) m.emplace(std::string(f->name->text()), f);
    return m;
}

int FuncMan::mainArity() const {
    FuncInfo* m = findFunction("main");
    if (!m) return -1;
    if (m->select(1)) return 1;
    if (m->select(0)) return 0;
    return -1;
}

void FuncMan::clearFunctions() {
    ++functions_version;
    auto t = std::move(table_);
    table_.clear();
    for (FuncInfo* info : t) {
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
