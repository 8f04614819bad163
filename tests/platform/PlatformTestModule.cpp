// A tiny shared library that the dynamic-library test loads by path.
extern "C" __attribute__((visibility("default"))) int PlatformTestModule_Answer(int lValue) {
    return lValue * 3 + 1;
}
