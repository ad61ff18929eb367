// A library that needs a function no library provides: it must be refused
// when loaded, not fail in the middle of a call.
extern "C" int tallimoor_function_nobody_defines(int);

extern "C" [[gnu::visibility("default")]] int tallimoor_test_call_missing(int a) {
  return tallimoor_function_nobody_defines(a);
}
