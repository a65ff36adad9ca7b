// Owns one VARIANT: initialised empty, cleared whatever happens.
#pragma once

#include <oleauto.h>

class Variant {
public:
    Variant() { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value_); }

    VARIANT* get() { return &value_; }

private:
    VARIANT value_;
};
