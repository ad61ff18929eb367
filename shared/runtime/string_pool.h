// The suite's shared runtime: reference-counted strings that cross library
// boundaries.
//
// The session record passed from the shell to a module holds its strings as
// 32-bit handles, so that the record is the same 80 bytes on 32- and 64-bit
// builds. A handle names a string in one pool owned by this small shared
// library, which the shell and every module link: a string made by one side
// may be released by the other. Handle 0 is the empty string and is never
// counted.
//
// Threads: any; the pool serialises its own calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// A new string with one reference (0 for an empty one, or when the pool is
// full: 16 million live strings).
uint32_t tallimoor_str_new(const char* utf8, size_t length);
// Another reference to `handle`; returns it. Unknown handles are ignored.
uint32_t tallimoor_str_addref(uint32_t handle);
// Drops a reference; the string goes with the last one.
void tallimoor_str_release(uint32_t handle);
// The bytes of `handle` (UTF-8, not terminated) and their number; an empty
// string for 0 and unknown handles. Valid while a reference is held.
const char* tallimoor_str_data(uint32_t handle, size_t* length);
// Live strings, for tests that look for leaks.
size_t tallimoor_str_live(void);
// References held on `handle` (0 when it is not live).
uint32_t tallimoor_str_refs(uint32_t handle);

#ifdef __cplusplus
}
#endif
