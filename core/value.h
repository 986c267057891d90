// Values and reference-counted objects.
//
// Every expression yields a `Value`: a 16-byte cell that carries a number or a boolean by value
// and everything else by reference to a heap object derived from `VRef`.  A boolean is the
// number 0.0 or 1.0 under tag T_BOOL; null is T_OBJECT with no object.
//
// Objects keep two counts.  `Value` is the transient holder (evaluator temporaries, built-in
// arguments and results, locals of C++ code) and moves `locks`; `Cell` is the stored holder
// (variables, array elements, hash values) and moves `refs`.  An object dies when a release
// brings one count to zero while the other is already zero.  Cycles are freed by the collector
// in core/objman.h, which treats every object with locks > 0 as a root.
//
// Destruction never recurses on the native stack: an object whose counts reach zero while
// another object is being destroyed is queued and destroyed by the outermost destroy, so that
// releasing a 200 000 deep nest of arrays is a loop, not a recursion.
#pragma once

#include <cstdint>
#include <cstdio>
#include <utility>

#include "core/pool.h"

namespace ruvo {

enum : uint32_t { T_NUMBER = 0, T_BOOL = 1, T_OBJECT = 2 };

// Run-time class of an object, for the typed views (cheaper than dynamic_cast).
enum class VKind : uint8_t { Other, String, Array, Hash, File, RegExp, FuncRef, ComObj, DllFunc };

class VRef;
class VString;
class VArray;
class VHash;
class VStream;
class MarkStack;

// The object registry: process-wide state of subsystem 1 (see core/objman.h for the rest).
struct VObjMan {
    VRef* first = nullptr;          // intrusive doubly linked list of every live object
    uint32_t count = 0;             // number of registered objects
    uint32_t threshold = 16;        // object count at which maybe_collect() runs a collection
    bool running = false;           // a collection is under way
    bool sweeping = false;          // releases are ignored while set
    bool destroying = false;        // an object is being destroyed; new deaths are queued
    void (*mark_roots)() = nullptr; // installed by the evaluator: marks scopes and functions

    // add and remove are inline: every object made and freed passes them.
    inline void add(VRef* o);
    inline void remove(VRef* o);
    // An object whose counts reached zero.  While another object is being destroyed, a string
    // (which holds nothing) goes at once and anything else is queued: the common death, a
    // string of an array that dies, costs a test and the deletion.
    void destroy(VRef* o);
    void collect(bool use_roots = true);
    void maybe_collect() {
        if (count >= threshold && !running) collect_and_adjust();
    }
    // Registration reached the threshold: the evaluator's next poll runs maybe_collect().
    [[gnu::cold]] void threshold_reached();
    void final_cleanup();

private:
    void collect_and_adjust();
    [[gnu::noinline]] void destroy_outermost(VRef* o);
    [[gnu::noinline]] void queue_death(VRef* o);
    [[gnu::cold, gnu::noinline]] static void not_registered();
};

extern VObjMan objman;

class VRef {
public:
    VRef(VKind k = VKind::Other) : kind(k) { objman.add(this); }
    VRef(const VRef&) = delete;
    VRef& operator=(const VRef&) = delete;
    virtual ~VRef() { objman.remove(this); }

    // Runtime objects live in the small-object pool (the size is the dynamic type's).
    static void* operator new(size_t n) { return object_pool.alloc(n); }
    static void operator delete(void* p, size_t n) { object_pool.release(p, n); }

    // A new object with the same contents, or null when the class cannot be cloned.
    virtual VRef* clone() const { return nullptr; }
    virtual const char* type_name() const { return "unknown"; }
    // Append this object's body to a stream; false when the class is not serializable.
    virtual bool serialize(VStream&) const { return false; }
    // Fill this freshly made object from a stream; false on failure.
    virtual bool deserialize(VStream&) { return false; }
    // Containers call mark() on every object they hold.  Called by the collector's worklist,
    // never recursively from mark().
    virtual void mark_children() {}

    // If already marked: false.  Otherwise set the mark, queue the object so that its
    // children are marked too, and return true.
    bool mark();

    void lock() { ++locks; }
    void unlock() {
        if (objman.sweeping) return;
        if (--locks == 0) {
            if (refs == 0) objman.destroy(this);
        } else if (locks < 0) {
            std::fputs("Internal error in VRef::rellock()\n", stdout);
        }
    }
    void addref() { ++refs; }
    void release() {
        if (objman.sweeping) return;
        if (--refs == 0) {
            if (locks == 0) objman.destroy(this);
        } else if (refs < 0) {
            std::fputs("Internal error in VRef::release()\n", stdout);
        }
    }

    int32_t refs = 0;
    int32_t locks = 0;
    bool marked = false;
    const VKind kind;

private:
    friend struct VObjMan;
    bool registered_ = false;
    VRef* reg_prev_ = nullptr;
    VRef* reg_next_ = nullptr;
};

inline void VObjMan::add(VRef* o) {
    o->registered_ = true;
    o->reg_prev_ = nullptr;
    o->reg_next_ = first;
    if (first) first->reg_prev_ = o;
    first = o;
    if (++count >= threshold) [[unlikely]]
        threshold_reached();
}

inline void VObjMan::remove(VRef* o) {
    if (!o->registered_) [[unlikely]] {
        not_registered();
        return;
    }
    if (o->reg_prev_)
        o->reg_prev_->reg_next_ = o->reg_next_;
    else
        first = o->reg_next_;
    if (o->reg_next_) o->reg_next_->reg_prev_ = o->reg_prev_;
    o->registered_ = false;
    o->reg_prev_ = o->reg_next_ = nullptr;
    --count;
}

// Releases that do not touch the object while the collector sweeps (it may be freed already).
inline void unlock_obj(VRef* o) {
    if (!objman.sweeping) o->unlock();
}
inline void release_obj(VRef* o) {
    if (!objman.sweeping) o->release();
}

// The layout shared by both holders: a tag and either a number or an object pointer.
class CellData {
public:
    uint32_t tag() const { return tag_; }
    bool is_number() const { return tag_ == T_NUMBER; }
    bool is_bool() const { return tag_ == T_BOOL; }
    bool is_numeric() const { return tag_ != T_OBJECT; }
    bool is_object() const { return tag_ == T_OBJECT && obj_ != nullptr; }
    bool is_null() const { return tag_ == T_OBJECT && obj_ == nullptr; }
    // The number of a number or boolean; 0.0 for objects and null.
    double num() const { return tag_ != T_OBJECT ? num_ : 0.0; }
    // The object of tag T_OBJECT (may be null); null for numbers and booleans.
    VRef* obj() const { return tag_ == T_OBJECT ? obj_ : nullptr; }

    VKind kind() const { return is_object() ? obj_->kind : VKind::Other; }
    // The same tag and the same bits: the same object, or the same number.
    bool identical(const CellData& o) const { return tag_ == o.tag_ && obj_ == o.obj_; }
    VString* as_string() const;
    VArray* as_array() const;
    VHash* as_hash() const;

protected:
    CellData() : obj_(nullptr), tag_(T_OBJECT) {}
    // The tag and the word of [o], a number's bits or an object pointer alike.
    void copy_raw(const CellData& o) {
        tag_ = o.tag_;
        obj_ = o.obj_; // the union is pointer-sized: copies numbers too
    }
    union {
        VRef* obj_;
        double num_;
    };
    uint32_t tag_;
};

class Cell;

// A transient holder: counts in `locks`.
class Value : public CellData {
public:
    Value() = default;
    [[gnu::always_inline]] Value(double d) { set_num(d); }
    Value(int i) { set_num(i); }
    Value(bool) = delete; // booleans are made with Value::boolean()
    Value(VRef* o) {
        obj_ = o;
        if (o) o->lock();
    }
    static Value boolean(bool b) {
        Value v;
        v.tag_ = T_BOOL;
        v.num_ = b ? 1.0 : 0.0;
        return v;
    }
    // A boolean holding any number (deserialization keeps the stored byte).
    static Value boolean_raw(double d) {
        Value v;
        v.tag_ = T_BOOL;
        v.num_ = d;
        return v;
    }
    static Value null() { return Value(); }
    // A view of a stored value that takes no count of its own.  Only a holder that knows the
    // cell outlives the view and never destroys the view as a Value may make one (the
    // arguments of a built-in that borrows them, eval/call.cpp).
    struct Borrow {};
    Value(Borrow, const CellData& c) { copy_fields(c); }

    Value(const Value& o) {
        copy_fields(o);
        if (tag_ == T_OBJECT && obj_) obj_->lock();
    }
    Value(Value&& o) noexcept {
        copy_fields(o);
        o.tag_ = T_OBJECT;
        o.obj_ = nullptr;
    }
    [[gnu::always_inline]] inline Value(const Cell& c);
    [[gnu::always_inline]] ~Value() {
        if (tag_ == T_OBJECT && obj_) unlock_obj(obj_);
    }
    Value& operator=(const Value& o) {
        if (this == &o) return *this;
        VRef* old = obj();
        copy_fields(o);
        if (tag_ == T_OBJECT && obj_) obj_->lock();
        if (old) unlock_obj(old);
        return *this;
    }
    Value& operator=(Value&& o) noexcept {
        if (this == &o) return *this;
        VRef* old = obj();
        copy_fields(o);
        o.tag_ = T_OBJECT;
        o.obj_ = nullptr;
        if (old) unlock_obj(old);
        return *this;
    }
    inline Value& operator=(const Cell& c);

    [[gnu::always_inline]] void set_num(double d) {
        VRef* old = obj();
        tag_ = T_NUMBER;
        num_ = d;
        if (old) unlock_obj(old);
    }
    void set_null() {
        VRef* old = obj();
        tag_ = T_OBJECT;
        obj_ = nullptr;
        if (old) unlock_obj(old);
    }

private:
    friend class Cell;
    void copy_fields(const CellData& o) { copy_raw(o); }
};

// A stored holder: counts in `refs`.  Containers and variables hold Cells.
class Cell : public CellData {
public:
    Cell() = default;
    Cell(const Cell& o) : CellData() { assign_fields(o); }
    Cell(Cell&& o) noexcept : CellData() {
        tag_ = o.tag_;
        obj_ = o.obj_; // the union is pointer-sized: moves numbers too
        o.tag_ = T_OBJECT;
        o.obj_ = nullptr;
    }
    explicit Cell(const Value& v) : CellData() { assign_fields(v); }
    // A cell holding a new object (or null) without a transient count on the way in.
    explicit Cell(VRef* o) : CellData() {
        obj_ = o;
        if (o) o->addref();
    }
    ~Cell() {
        if (tag_ == T_OBJECT && obj_) release_obj(obj_);
    }
    Cell& operator=(const Cell& o) {
        if (this != &o) set(o);
        return *this;
    }
    Cell& operator=(const Value& v) {
        set(v);
        return *this;
    }
    void set(const CellData& v) {
        VRef* old = obj();
        assign_fields(v);
        if (old) release_obj(old);
    }
    void set_num(double d) {
        VRef* old = obj();
        tag_ = T_NUMBER;
        num_ = d;
        if (old) release_obj(old);
    }
    void set_null() {
        VRef* old = obj();
        tag_ = T_OBJECT;
        obj_ = nullptr;
        if (old) release_obj(old);
    }
    // set() of a cell known to be null (nothing to release).
    void set_fresh(const CellData& v) { assign_fields(v); }
    // The object of the cell, which gives up its count on it without a release (the caller
    // takes the count over); the cell becomes null.
    VRef* take_object() {
        VRef* o = obj();
        tag_ = T_OBJECT;
        obj_ = nullptr;
        return o;
    }
    // Transient counts kept in a cell for a while (eval/scope.h, FillingFrame).  The cell,
    // null, takes v's value and its transient count over; v becomes null.
    void take_transient(Value& v);
    // The transient count kept becomes a count of the cell's own.
    void settle() {
        if (tag_ == T_OBJECT && obj_) {
            obj_->addref();
            unlock_obj(obj_);
        }
    }
    // The cell gives its value and its transient count to v, null, and becomes null.
    void give_transient(Value& v);
    // The transient count kept is given up; the cell becomes null.
    void drop_transient() {
        VRef* o = obj();
        tag_ = T_OBJECT;
        obj_ = nullptr;
        if (o) unlock_obj(o);
    }
    // Exchange two stored cells without touching any count.
    void swap(Cell& o) noexcept {
        std::swap(tag_, o.tag_);
        std::swap(obj_, o.obj_); // the union is pointer-sized: swaps numbers too
    }

private:
    void assign_fields(const CellData& v) {
        copy_raw(v);
        if (tag_ == T_OBJECT && obj_) obj_->addref();
    }
};

static_assert(sizeof(double) == sizeof(VRef*), "the cell's union is one word");

[[gnu::always_inline]] inline void Cell::take_transient(Value& v) {
    copy_raw(v);
    v.tag_ = T_OBJECT;
    v.obj_ = nullptr;
}

inline void Cell::give_transient(Value& v) {
    v.copy_fields(*this);
    tag_ = T_OBJECT;
    obj_ = nullptr;
}

[[gnu::always_inline]] inline Value::Value(const Cell& c) {
    copy_fields(c);
    if (tag_ == T_OBJECT && obj_) obj_->lock();
}
inline Value& Value::operator=(const Cell& c) {
    VRef* old = obj();
    copy_fields(c);
    if (tag_ == T_OBJECT && obj_) obj_->lock();
    if (old) unlock_obj(old);
    return *this;
}

// The type name `type()` reports: "number", "bool", "unknown" for null, else the object's.
const char* value_type_name(const CellData& v);

} // namespace ruvo
