// A tiny library the tests load across a real library boundary.
extern "C" {

[[gnu::visibility("default")]] int tallimoor_test_add(int a, int b) {
  return a + b;
}

[[gnu::visibility("default")]] const char* tallimoor_test_name() {
  return "os test module";
}

}  // extern "C"
