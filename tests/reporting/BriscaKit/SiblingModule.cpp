// The library the run-path opener finds along its run path.
extern "C" __attribute__((visibility("default"))) int brisca_sibling_value() { return 17; }
