// A growable buffer of elements: binary registry values travel in MemoryBuffer<char>, and the
// text conversions use MemoryBuffer<unsigned short> (16-bit characters) as scratch.
#pragma once

#include <cstddef>
#include <vector>

namespace vmtl {

template <class T>
class MemoryBuffer {
public:
    MemoryBuffer() = default;
    explicit MemoryBuffer(size_t count) : data_(count) {}
    virtual ~MemoryBuffer() = default;

    T* GetData() { return data_.empty() ? nullptr : data_.data(); }
    const T* GetData() const { return data_.empty() ? nullptr : data_.data(); }
    size_t GetCount() const { return data_.size(); }

    // Resizes to `count` elements; `keep` keeps the leading contents, otherwise every element
    // is zero afterwards.
    void Resize(size_t count, bool keep) {
        if (keep) {
            data_.resize(count, T());
        } else {
            data_.assign(count, T());
        }
    }

private:
    std::vector<T> data_;
};

}  // namespace vmtl
