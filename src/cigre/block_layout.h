// Where each port or parameter sits in a host-allocated block: natural C alignment, members in
// table order, an array port as Width consecutive elements, the block rounded up to its widest
// alignment. Model and host use this one rule, so both agree with a C compiler.
#pragma once

#include <cstddef>

#include "cigre/ieee_cigre_dll.h"

namespace svg::cigre {

// Bytes of one element of a data type; 0 for a value outside 1..10.
constexpr std::size_t ElementSize(int data_type) noexcept {
    switch (data_type) {
        case IEEE_Cigre_DLLInterface_DataType_char_T:
        case IEEE_Cigre_DLLInterface_DataType_int8_T:
        case IEEE_Cigre_DLLInterface_DataType_uint8_T:
            return 1;
        case IEEE_Cigre_DLLInterface_DataType_int16_T:
        case IEEE_Cigre_DLLInterface_DataType_uint16_T:
            return 2;
        case IEEE_Cigre_DLLInterface_DataType_int32_T:
        case IEEE_Cigre_DLLInterface_DataType_uint32_T:
        case IEEE_Cigre_DLLInterface_DataType_real32_T:
            return 4;
        case IEEE_Cigre_DLLInterface_DataType_real64_T:
            return sizeof(real64_T);
        case IEEE_Cigre_DLLInterface_DataType_c_string_T:
            return sizeof(const char*);
        default:
            return 0;
    }
}

// Places members one after another.
class BlockCursor {
  public:
    // Offset of the next member of `width` elements of `data_type` (a width below 1 counts
    // as 1, an unknown type as one byte).
    constexpr std::size_t Place(int data_type, int width) noexcept {
        std::size_t size = ElementSize(data_type);
        size = size != 0 ? size : 1;
        const std::size_t align = size;  // every interface type is aligned to its size
        offset_ = (offset_ + align - 1) / align * align;
        const std::size_t placed = offset_;
        offset_ += size * static_cast<std::size_t>(width > 0 ? width : 1);
        widest_ = align > widest_ ? align : widest_;
        return placed;
    }
    // The block size so far: the end rounded up to the widest alignment.
    constexpr std::size_t Size() const noexcept {
        return (offset_ + widest_ - 1) / widest_ * widest_;
    }

  private:
    std::size_t offset_ = 0;
    std::size_t widest_ = 1;
};

// Offsets of `count` ports into `offsets`; returns the block size.
inline std::size_t LayOutPorts(const IEEE_Cigre_DLLInterface_Signal* ports, int count,
                               std::size_t* offsets) noexcept {
    BlockCursor cursor;
    for (int i = 0; i < count; ++i) {
        offsets[i] = cursor.Place(ports[i].DataType, ports[i].Width);
    }
    return cursor.Size();
}

// Offsets of `count` scalar parameters into `offsets`; returns the block size.
inline std::size_t LayOutParameters(const IEEE_Cigre_DLLInterface_Parameter* parameters, int count,
                                    std::size_t* offsets) noexcept {
    BlockCursor cursor;
    for (int i = 0; i < count; ++i) {
        offsets[i] = cursor.Place(parameters[i].DataType, 1);
    }
    return cursor.Size();
}

}  // namespace svg::cigre
