// The C++ runtime raises its own errors through these. Its versions build exception types
// whose code (and a second, older string implementation they carry) is a sixth of the
// library; here the standard containers' errors become faults like any other, which every
// COM entry point already turns into its failure status.
#include <cstring>
#include <new>
#include <string>

#include "Fault.h"

namespace {

[[noreturn]] void Raise(const char* what)
{
    throw Fault(std::u16string(what, what + std::strlen(what)));
}

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_bad_function_call() { Raise("bad function call"); }
void __throw_length_error(const char* what) { Raise(what); }
void __throw_logic_error(const char* what) { Raise(what); }
void __throw_out_of_range_fmt(const char* what, ...) { Raise(what); }

}  // namespace std
