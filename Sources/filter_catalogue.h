// filter_catalogue.h - the filter drawer's catalogue: 34 records in menu order, each a title, the
// engine's filter name, whether the filter is centred on the layer, and up to four parameters
// (value, key, value at slider position 100). The values are written at run time by the
// sliders, so a filter's sliders reopen where they were left. Owns gFilter.
#pragma once

#include <cstdint>

enum { kFilterCount = 34, kFilterParams = 4 };

struct FilterParam {
    float value;      // given to the filter
    char key[24];     // empty = no such parameter
    float max;        // value at slider position 100
};

struct FilterRecord {
    char title[32];
    char ciName[32];
    int32_t centered;  // non-zero: "inputCenter" is the layer's centre
    FilterParam param[kFilterParams];
};
static_assert(sizeof(FilterRecord) == 196, "filter records are 196 bytes");

extern FilterRecord gFilter[kFilterCount];
