// The library that the helped client stand-in (fbclient_stub.cpp built with
// CONTARDC_STUB_NEEDS_HELPER) imports from.

extern "C" __declspec(dllexport) int contardc_stub_helper() { return 0; }
