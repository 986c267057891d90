// The object registry and the cycle collector.
//
// Registration is an intrusive doubly linked list plus a count, so add and remove are O(1).
// The collector marks from the roots (scopes and function tables, through the hook the
// evaluator installs, and every object with locks > 0) with an explicit worklist, so deep
// nests do not recurse on the native stack.  The sweep first gathers every unmarked object,
// then destroys them with releases suppressed: destroying an unmarked container does not
// touch the counts of what it holds, and every unmarked object is destroyed by the sweep
// itself.  Both phases are linear in the number of objects.
#include <new>
#include <vector>

#include "core/attention.h"
#include "core/value.h"

namespace ruvo {

VObjMan objman;
std::atomic<uint32_t> attention{0};

void VObjMan::threshold_reached() {
    if (!attention_requested(kAttendCollect)) request_attention(kAttendCollect);
}

namespace {
// The registry's two work lists.  Constant-initialized (an empty vector needs no code): they
// exist before any object is made, and a use tests no guard.
struct WorkLists {
    std::vector<VRef*> marks;  // marked objects whose children are not marked yet
    std::vector<VRef*> deaths; // objects that died while another was being destroyed
};
constinit WorkLists work_lists;
std::vector<VRef*>& mark_worklist() {
    return work_lists.marks;
}
std::vector<VRef*>& death_queue() {
    return work_lists.deaths;
}
} // namespace

bool VRef::mark() {
    if (marked) return false;
    marked = true;
    // A string holds nothing: it needs no turn on the worklist.
    if (kind != VKind::String) mark_worklist().push_back(this);
    return true;
}

void VObjMan::not_registered() {
    std::fputs("Internal error in VObjMan::remove()\n", stdout);
}

void VObjMan::destroy(VRef* o) {
    // A string holds nothing, so its death cascades no further: it goes at once, and
    // dropping an array of a million strings queues nothing.
    if (!destroying) return destroy_outermost(o);
    if (o->kind != VKind::String) return queue_death(o);
    delete o;
}

void VObjMan::queue_death(VRef* o) {
    // When the queue cannot grow (memory is short) the object goes at once: that may
    // recurse, but only as deep as the nest.
    try {
        death_queue().push_back(o);
    } catch (std::bad_alloc&) {
        delete o;
    }
}

void VObjMan::destroy_outermost(VRef* o) {
    destroying = true;
    delete o;
    auto& q = death_queue();
    while (!q.empty()) {
        VRef* p = q.back();
        q.pop_back();
        delete p;
    }
    destroying = false;
}

static void drain_marks() {
    auto& w = mark_worklist();
    while (!w.empty()) {
        VRef* o = w.back();
        w.pop_back();
        o->mark_children();
    }
}

void VObjMan::collect(bool use_roots) {
    if (running) return;
    running = true;
    // One walk clears the marks and queues every object a temporary holds; their children
    // are marked only after the walk, so no mark is cleared once set.
    for (VRef* o = first; o; o = o->reg_next_) {
        o->marked = false;
        if (o->locks != 0) o->mark();
    }
    if (use_roots && mark_roots) mark_roots();
    drain_marks();

    std::vector<VRef*> dead;
    for (VRef* o = first; o; o = o->reg_next_)
        if (!o->marked) dead.push_back(o);
    sweeping = true;
    for (VRef* o : dead) delete o;
    sweeping = false;
    running = false;
}

void VObjMan::collect_and_adjust() {
    collect();
    uint32_t n = count;
    if (n < 16)
        threshold = n + 16;
    else if (n < 100000)
        threshold = 2 * n;
    else
        threshold = n + 100000;
}

// Before the scopes are dropped at shut-down: free what only cycles keep alive while every
// live value is still reachable from its variable.
void VObjMan::final_cleanup() {
    collect();
}

const char* value_type_name(const CellData& v) {
    switch (v.tag()) {
    case T_NUMBER: return "number";
    case T_BOOL: return "bool";
    default: return v.obj() ? v.obj()->type_name() : "unknown";
    }
}

} // namespace ruvo
