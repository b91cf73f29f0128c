// Intrusive reference counting of the settings store. The counts are plain integers, not
// atomic: an object and everything it holds belong to one thread at a time.
#pragma once

#include <cstdint>

namespace vmtl {

class IRefCounted {
public:
    virtual ~IRefCounted() = default;
    virtual int32_t AddRef() = 0;       // count + 1; returns the new count
    virtual int32_t Release() = 0;      // count - 1, destroys the object at 0 or below
    virtual int32_t GetRefCount() = 0;  // the current count
};

}  // namespace vmtl
