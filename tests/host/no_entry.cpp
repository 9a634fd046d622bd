// A library that loads but has no interface1.
#ifdef _WIN32
extern "C" __declspec(dllexport) int somethingElse() { return 1; }
#else
extern "C" __attribute__((visibility("default"))) int somethingElse() { return 1; }
#endif
