// A description that a type library or type info lends out and wants back
// (TYPEATTR, FUNCDESC, TLIBATTR, ...): given back through the owner's release
// method, once, when the scope ends.
#pragma once

#include <windows.h>

template <typename Owner, typename Desc>
class Lent {
public:
    using Release = void (STDMETHODCALLTYPE Owner::*)(Desc*);
    Lent(Owner* owner, Release release) : owner_(owner), release_(release) {}
    ~Lent() {
        if (desc_) (owner_->*release_)(desc_);
    }
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;

    // For the lending call's out-parameter; nothing may be lent yet.
    Desc** put() { return &desc_; }
    const Desc* operator->() const { return desc_; }
    explicit operator bool() const { return desc_ != nullptr; }

private:
    Owner* const owner_;
    const Release release_;
    Desc* desc_ = nullptr;
};
