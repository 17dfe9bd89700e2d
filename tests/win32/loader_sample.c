/* A file of the kind a WebView2Loader.dll is (a DLL, or a program when VELMORA_SAMPLE_PROGRAM is
   defined), for the tests of the loader checks. */
int velmora_loader_sample = 1;
#ifdef VELMORA_SAMPLE_PROGRAM
int main(void) { return velmora_loader_sample - 1; }
#endif
