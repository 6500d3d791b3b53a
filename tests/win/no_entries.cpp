// A library that loads but offers none of the client's entry points, as a
// DLL of another product that happens to carry the client's file name.

extern "C" __declspec(dllexport) int contardc_not_a_client() { return 0; }
