// A type description's parts as owners that give themselves back to the type information they
// came from (tests only).
#pragma once

#include <gtest/gtest.h>

#include <oaidl.h>

#include <functional>
#include <memory>

template <typename T>
using Lent = std::unique_ptr<T, std::function<void(T*)>>;

inline Lent<TYPEATTR> Attr(ITypeInfo* info)
{
    TYPEATTR* attr = nullptr;
    EXPECT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attr));
    return {attr, [info](TYPEATTR* a) { info->ReleaseTypeAttr(a); }};
}

inline Lent<FUNCDESC> Func(ITypeInfo* info, UINT index)
{
    FUNCDESC* desc = nullptr;
    EXPECT_HRESULT_SUCCEEDED(info->GetFuncDesc(index, &desc));
    return {desc, [info](FUNCDESC* d) { info->ReleaseFuncDesc(d); }};
}

inline Lent<VARDESC> Var(ITypeInfo* info, UINT index)
{
    VARDESC* desc = nullptr;
    EXPECT_HRESULT_SUCCEEDED(info->GetVarDesc(index, &desc));
    return {desc, [info](VARDESC* d) { info->ReleaseVarDesc(d); }};
}
