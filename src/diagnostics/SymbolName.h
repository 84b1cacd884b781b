// Readable names of the functions a crash report lists, worked out without allocating so that the
// crash handler may call it.
//
// Reads the C++ name mangling compilers use on this platform (the Itanium C++ ABI) and prints the
// qualified name without the parameter list of the function itself: "Norik::ErrorLog::WriteEntry",
// "std::vector<int, std::allocator<int> >::push_back"; the report writes "(...)" after it. Known
// forms: namespaces and classes, templates with type and literal arguments, constructors,
// destructors, operators, lambdas and other names local to a function (printed with that
// function's parameters, "Norik::Run(int)::{lambda()#1}::operator()"), thunks, vtables, guard
// variables, compiler clones (" [clone .cold]"). A name outside these forms comes back exactly as
// given, never half-read; a name that is not mangled (a C function) comes back unchanged.
#pragma once

#include <cstddef>

namespace Norik {

// Writes the readable form of symbol into out, NUL-terminated and cut to capacity - 1 characters,
// and returns its length. capacity must be at least 1. Safe in a signal handler: no allocation, no
// locks, bounded stack (a few kilobytes) whatever the input.
std::size_t DemangleSymbol(const char* symbol, char* out, std::size_t capacity);

}  // namespace Norik
