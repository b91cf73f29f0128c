// Smart pointers over vmtl::IRefCounted objects: AddRef when a pointer is taken, Release when it
// is dropped. RefCountedPtr_STLSafe is the form kept inside standard containers.
#pragma once

#include <cstddef>
#include <utility>

namespace vmtl {

template <class T>
class RefCountedPtr {
public:
    RefCountedPtr() = default;
    explicit RefCountedPtr(T* p) : p_(p) {
        if (p_) {
            p_->AddRef();
        }
    }
    RefCountedPtr(const RefCountedPtr& other) : RefCountedPtr(other.p_) {}
    RefCountedPtr(RefCountedPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    virtual ~RefCountedPtr() { Reset(); }

    RefCountedPtr& operator=(const RefCountedPtr& other) {
        Assign(other.p_);
        return *this;
    }
    RefCountedPtr& operator=(RefCountedPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    RefCountedPtr& operator=(T* p) {
        Assign(p);
        return *this;
    }

    // Takes `p` (AddRef) after dropping the current pointer (Release).
    void Assign(T* p) {
        if (p) {
            p->AddRef();
        }
        T* old = p_;
        p_ = p;
        if (old) {
            old->Release();
        }
    }
    void Reset() {
        T* old = p_;
        p_ = nullptr;
        if (old) {
            old->Release();
        }
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

template <class T>
class RefCountedPtr_STLSafe : public RefCountedPtr<T> {
public:
    RefCountedPtr_STLSafe() = default;
    explicit RefCountedPtr_STLSafe(T* p) : RefCountedPtr<T>(p) {}
    RefCountedPtr_STLSafe(const RefCountedPtr_STLSafe& other) : RefCountedPtr<T>(other) {}
    RefCountedPtr_STLSafe(const RefCountedPtr<T>& other) : RefCountedPtr<T>(other) {}
    RefCountedPtr_STLSafe& operator=(const RefCountedPtr_STLSafe& other) {
        RefCountedPtr<T>::operator=(other);
        return *this;
    }
    ~RefCountedPtr_STLSafe() override = default;
};

}  // namespace vmtl
