/* A DLL that another test DLL imports and that the test leaves out of every
   searched folder. */
__declspec(dllexport) int pagvigia_dependencia(void) { return 1; }
