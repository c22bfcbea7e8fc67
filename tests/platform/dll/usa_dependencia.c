/* A DLL that imports pagvigia_dependencia.dll: loading it without that file
   fails with "module not found" although the file itself is there. */
__declspec(dllimport) int pagvigia_dependencia(void);
__declspec(dllexport) int pagvigia_usa_dependencia(void) { return pagvigia_dependencia() + 1; }
